// The package file downloader against the in-process HTTP server: each chunk URL fetched once,
// arrival order, retries, corrupt and stalled chunks, held copies, self-update mode, permissions.
#include "DownloaderTestData.h"
#include "TLogCapture.h"

#include "filesystemhelper/TFileSystemHelper.h"
#include "hash/TSha256.h"
#include "installation/EPackageDownloaderError.h"
#include "installation/TChunkDeltaSource.h"
#include "installation/TDeltaBaseStore.h"
#include "installation/TMirrorLocations.h"
#include "installation/TPackageFileDownloader.h"
#include "installation/TPendingChunkStore.h"
#include "installation/TReplacementJournal.h"
#include "installation/TTimeLeftEstimator.h"
#include "installation/TTransferRate.h"
#include "network/QNetworkAccessManagerWrapper.h"
#include "network/TDownloadPool.h"
#include "settings/TLauncherFilesystemHelper.h"
#include "support/TTestHttpServer.h"
#include "support/TUnusableTemporaryFolder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>
#include <stdexcept>

using namespace orvan::launcher;
using namespace downloadertest;
using testsupport::TTestHttpResponse;
using testsupport::TTestHttpServer;

namespace {

const QString Thread = TLogCapture::threadPattern();

/// A file system gateway that can't delete anything, like a running program on some systems.
class TUndeletableFiles : public shared::TFileSystemHelper
{
public:
    void deleteFile(const QString& path) const override
    {
        throw std::runtime_error(QString(QStringLiteral("Failed to delete file ") + path).toStdString());
    }
};

QString quotedUrl(const TServedChunk& chunk)
{
    return QStringLiteral("QUrl(\"%1\")").arg(chunk.chunk.url.toString());
}

TTestSettings withChunkVerification()
{
    TTestSettings settings;
    settings.chunkVerification = true;
    return settings;
}

TTestSettings withMaxCachedChunks(int count)
{
    TTestSettings settings;
    settings.maxCachedChunks = count;
    return settings;
}

enum class ELocationFault
{
    Status500,
    ConnectionReset,
    CorruptData,
    NotRunning
};

/// What a failing location answers for Chunk.
TTestHttpResponse faultyResponse(ELocationFault fault, const TServedChunk& chunk)
{
    switch (fault) {
    case ELocationFault::Status500:
        return TTestHttpResponse().status(500).body("broken");
    case ELocationFault::ConnectionReset:
        return TTestHttpResponse().closeWithoutResponse();
    case ELocationFault::CorruptData: {
        QByteArray corrupt = chunk.body;
        corrupt[corrupt.size() / 2] = static_cast<char>(corrupt.at(corrupt.size() / 2) ^ 0x5a);
        return TTestHttpResponse().body(corrupt);
    }
    case ELocationFault::NotRunning:
        break;
    }
    return TTestHttpResponse().body(chunk.body);
}

/// (milliseconds, bytes done) samples of a transfer.
using TTimedSamples = QList<QPair<qint64, quint64>>;

constexpr QFileDevice::Permissions ExecuteForAll =
    QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;

} // namespace

Q_DECLARE_METATYPE(ELocationFault)

class TestDownloader : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<TTestHttpServer> m_server;
    std::unique_ptr<TLogCapture> m_log;

    QString installed(const QString& localFile) const { return QDir(installDirectory()).filePath(localFile); }
    QString installDirectory() const { return m_root->filePath(QStringLiteral("install")); }

    std::unique_ptr<TPackageFileDownloader> makeDownloader(const TTestSettings& settings = {})
    {
        auto helper = makeHelper(m_root->path(), settings);
        auto manager =
            std::make_shared<shared::QNetworkAccessManagerWrapper>(std::make_shared<QNetworkAccessManager>());
        auto pool = std::make_shared<shared::TDownloadPool>(helper->settings()->maxConcurrentDownloads,
                                                            std::move(manager), false);
        return std::make_unique<TPackageFileDownloader>(std::move(pool), std::move(helper));
    }

    TServedChunk chunk(const QString& name, int size, quint64 seed, int algorithm = 0) const
    {
        return makeChunk(*m_server, QStringLiteral("/chunks/") + name, pseudoRandom(size, seed), algorithm);
    }

    void serve(const TServedChunk& chunk, TTestHttpResponse response = TTestHttpResponse()) const
    {
        m_server->setResponse(chunk.path, response.body(chunk.body));
    }

    /// Waits until the save of Chunk has completed (its data is written or held).
    bool waitForSave(const TServedChunk& chunk) const
    {
        const QString text = QStringLiteral("processDownloadedData save completed  ") + quotedUrl(chunk);
        return QTest::qWaitFor([&] { return m_log->countContaining(text) > 0; }, 20000);
    }

    static EPackageDownloaderError reasonOf(const QSignalSpy& failed)
    {
        return failed.first().first().value<EPackageDownloaderError>();
    }

private slots:
    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        QVERIFY(m_root->isValid());
        m_server = std::make_unique<TTestHttpServer>();
        m_log = std::make_unique<TLogCapture>();
    }

    void cleanup()
    {
        m_log.reset();
        m_server.reset();
        m_root.reset();
    }

    void sharedChunkIsDownloadedOnceWhateverTheArrivalOrder_data()
    {
        QTest::addColumn<QList<int>>("releaseOrder");
        QTest::newRow("request order") << QList<int>{0, 1, 2, 3};
        QTest::newRow("back to front") << QList<int>{3, 2, 1, 0};
        QTest::newRow("shared chunk last") << QList<int>{2, 3, 1, 0};
        QTest::newRow("middle first") << QList<int>{1, 3, 0, 2};
    }

    void sharedChunkIsDownloadedOnceWhateverTheArrivalOrder()
    {
        QFETCH(QList<int>, releaseOrder);
        // a is used at positions 0 and 2 of one file and at position 1 of the other.
        const TServedChunk a = chunk(QStringLiteral("a"), 3000, 1, 0);
        const TServedChunk b = chunk(QStringLiteral("b"), 5000, 2, 5);
        const TServedChunk c = chunk(QStringLiteral("c"), 4000, 3, -1);
        const TServedChunk d = chunk(QStringLiteral("d"), 2000, 4, 0);
        const std::vector<const TServedChunk*> all{&a, &b, &c, &d};
        for (const TServedChunk* served : all)
            serve(*served, TTestHttpResponse().held());

        auto downloader = makeDownloader();
        QSignalSpy completed(downloader.get(), &TPackageFileDownloader::downloadCompleted);
        QSignalSpy failed(downloader.get(), &TPackageFileDownloader::downloadFailed);
        QSignalSpy progress(downloader.get(), &TPackageFileDownloader::progress);
        downloader->downloadFiles(
            QDir(installDirectory()), 0,
            {fileOf(QStringLiteral("one.bin"), {&a, &b, &a}), fileOf(QStringLiteral("sub/two.bin"), {&c, &a, &d})});
        QTRY_COMPARE(m_server->heldCount(), 4);
        for (const int index : releaseOrder) {
            QCOMPARE(m_server->releaseHeld(all[static_cast<std::size_t>(index)]->path), 1);
            QVERIFY(waitForSave(*all[static_cast<std::size_t>(index)]));
        }
        QTRY_COMPARE(completed.count(), 1);
        QCOMPARE(failed.count(), 0);

        for (const TServedChunk* served : all)
            QCOMPARE(m_server->requestCount(served->path), 1);
        QCOMPARE(readFile(installed(QStringLiteral("one.bin"))), contentOf({&a, &b, &a}));
        QCOMPARE(readFile(installed(QStringLiteral("sub/two.bin"))), contentOf({&c, &a, &d}));
        QCOMPARE(downloader->inMemoryChunkCount(), 0);
        QCOMPARE(downloader->temporaryChunkFileCount(), 0);

        // Totals count each distinct URL once.
        const quint64 packed = a.chunk.packedSize + b.chunk.packedSize + c.chunk.packedSize + d.chunk.packedSize;
        const quint64 unpacked = 3000 + 5000 + 4000 + 2000;
        const QList<QVariant> last = progress.last();
        QCOMPARE(last.at(0).value<TFileSize>(), packed);
        QCOMPARE(last.at(1).value<TFileSize>(), packed);
        QCOMPARE(last.at(2).value<TFileSize>(), unpacked);
        QCOMPARE(last.at(3).value<TFileSize>(), unpacked);

        // Requested front of file first: both files' first chunks, then b (offset 3000), then d (7000).
        QStringList requested;
        for (const QString& line : m_log->lines()) {
            if (line.startsWith(QLatin1String("Info: start download of  QUrl(")))
                requested.append(line);
        }
        QCOMPARE(requested.size(), 4);
        const QList<const TServedChunk*> expectedOrder{&a, &c, &b, &d};
        for (int index = 0; index < 4; ++index)
            QVERIFY2(requested.at(index).contains(quotedUrl(*expectedOrder.at(index))),
                     qPrintable(requested.at(index)));

        QCOMPARE(m_log->count(QStringLiteral("Info: start download of  4  files Thread:  ") + Thread), 1);
        QCOMPARE(m_log->count(QStringLiteral("Info: processDownloadedData decompress  %1  Thread:  %2")
                                  .arg(TLogCapture::literal(quotedUrl(b)), Thread)),
                 1);
        // c is not a container: verified without a decompression step.
        QCOMPARE(m_log->countContaining(QStringLiteral("processDownloadedData decompress  ") + quotedUrl(c)), 0);
        QCOMPARE(m_log->count(QStringLiteral("Info: processDownloadedData verify finished  %1  Thread:  %2")
                                  .arg(TLogCapture::literal(quotedUrl(c)), Thread)),
                 1);
        QCOMPARE(m_log->count(QStringLiteral("Info: processFinishedData found:  %1 %2")
                                  .arg(TLogCapture::literal(quotedUrl(d)), Thread)),
                 1);
        QCOMPARE(
            m_log->count(QStringLiteral("Info: emitFinishedSignalWhenNoMoreFilesAreOutstanding ActiveDownloads:  0 "
                                        " FilesInProgress:  0  AtLeastOneDownloadFailed  false "
                                        " AtLeastOneSavingOperationFailed  false  Thread:  ") +
                         Thread),
            1);
        if (releaseOrder.first() == 3) {
            QVERIFY(m_log->count(QStringLiteral("Info: saveDownloadedData chunk  %1  from cache to  \".*two.bin\"  "
                                                "offset:  7000  Thread:  %2")
                                     .arg(TLogCapture::literal(quotedUrl(d)), Thread)) == 1);
        }
    }

    void retries_data()
    {
        QTest::addColumn<int>("failures");
        QTest::addColumn<bool>("succeeds");
        QTest::newRow("three failures, then success") << 3 << true;
        QTest::newRow("four failures") << 4 << false;
    }

    void retries()
    {
        QFETCH(int, failures);
        QFETCH(bool, succeeds);
        const TServedChunk a = chunk(QStringLiteral("a"), 1000, 1);
        const TServedChunk b = chunk(QStringLiteral("b"), 1000, 2);
        serve(a);
        serve(b, TTestHttpResponse().failFirst(failures, 503));

        auto downloader = makeDownloader();
        QSignalSpy completed(downloader.get(), &TPackageFileDownloader::downloadCompleted);
        QSignalSpy failed(downloader.get(), &TPackageFileDownloader::downloadFailed);
        downloader->downloadFiles(QDir(installDirectory()), 0, {fileOf(QStringLiteral("f"), {&a, &b})});
        QTRY_COMPARE_WITH_TIMEOUT(completed.count() + failed.count(), 1, 30000);

        QCOMPARE(m_server->requestCount(b.path), 4);
        QCOMPARE(m_log->count(
                     QStringLiteral("Info: Retry  %1  Thread:  %2").arg(TLogCapture::literal(quotedUrl(b)), Thread)),
                 3);
        if (succeeds) {
            QCOMPARE(completed.count(), 1);
            QCOMPARE(readFile(installed(QStringLiteral("f"))), contentOf({&a, &b}));
        } else {
            QCOMPARE(reasonOf(failed), EPackageDownloaderError::DownloadFailed);
            QCOMPARE(m_log->count(QStringLiteral("Critical: Download of  %1 failed: .*Service Unavailable.*")
                                      .arg(TLogCapture::literal(quotedUrl(b)))),
                     1);
            // The run ends once; whether a was saved before b failed for good is up to the scheduler.
            QCOMPARE(m_log->countContaining(QStringLiteral("FilesInProgress:  0  AtLeastOneDownloadFailed  true")), 1);
        }
    }

    void objectsFallBackToTheNextLocation_data()
    {
        QTest::addColumn<ELocationFault>("fault");
        QTest::addColumn<int>("failingLocations");
        QTest::newRow("first answers 500") << ELocationFault::Status500 << 1;
        QTest::newRow("first resets connections") << ELocationFault::ConnectionReset << 1;
        QTest::newRow("first serves corrupt data") << ELocationFault::CorruptData << 1;
        QTest::newRow("first two not running") << ELocationFault::NotRunning << 2;
        QTest::newRow("all answer 500") << ELocationFault::Status500 << 3;
    }

    void objectsFallBackToTheNextLocation()
    {
        QFETCH(ELocationFault, fault);
        QFETCH(int, failingLocations);
        TTestHttpServer second;
        TTestHttpServer third;
        TTestHttpServer* const servers[] = {m_server.get(), &second, &third};
        const QString bases[] = {QStringLiteral("/pkg/"), QStringLiteral("/m1/"), QStringLiteral("/m2/")};
        // Raw and packed objects: corrupt data fails the hash check of one and the decoding of the other.
        std::vector<TServedChunk> served;
        for (int index = 0; index < 6; ++index)
            served.push_back(makeChunk(*m_server, QStringLiteral("/pkg/objects/%1").arg(index),
                                       pseudoRandom(1500 + index * 100, 20 + index), index % 2 == 0 ? -1 : 5));
        for (int location = 0; location < 3; ++location) {
            const bool failing = location < failingLocations;
            for (const TServedChunk& object : served)
                servers[location]->setResponse(bases[location] + object.path.mid(bases[0].size()),
                                               failing ? faultyResponse(fault, object)
                                                       : TTestHttpResponse().body(object.body));
            if (failing && fault == ELocationFault::NotRunning)
                servers[location]->stop();
        }
        std::vector<const TServedChunk*> chunks;
        quint64 packed = 0;
        for (const TServedChunk& object : served) {
            chunks.push_back(&object);
            packed += object.chunk.packedSize;
        }

        auto downloader = makeDownloader();
        downloader->setMirrorLocations(
            TMirrorLocations(m_server->url(bases[0]), {second.url(bases[1]), third.url(bases[2])}));
        QSignalSpy completed(downloader.get(), &TPackageFileDownloader::downloadCompleted);
        QSignalSpy failed(downloader.get(), &TPackageFileDownloader::downloadFailed);
        QSignalSpy progress(downloader.get(), &TPackageFileDownloader::progress);
        downloader->downloadFiles(QDir(installDirectory()), 0, {fileOf(QStringLiteral("f"), chunks)});
        QTRY_COMPARE_WITH_TIMEOUT(completed.count() + failed.count(), 1, 60000);

        if (failingLocations == 3) {
            QCOMPARE(reasonOf(failed), EPackageDownloaderError::DownloadFailed);
        } else {
            QCOMPARE(completed.count(), 1);
            QCOMPARE(readFile(installed(QStringLiteral("f"))), contentOf(chunks));
            // The bytes of failed tries elsewhere are not counted on top of the served ones.
            QCOMPARE(progress.last().at(0).value<TFileSize>(), packed);
        }
        for (int location = 0; location < 3; ++location)
            QCOMPARE(
                m_log->count(QStringLiteral("Warning: Download location %1 given up after 3 failed objects in a row")
                                 .arg(TLogCapture::literal(servers[location]->url(bases[location]).toString()))),
                location < failingLocations ? 1 : 0);
    }

    // A delta asked for again after the build's own location was given up goes to the mirror; when
    // it fails there, its whole chunk comes from the mirror too.
    void failedDeltaOnAMirrorFetchesItsWholeChunkFromTheMirror()
    {
        TTestHttpServer mirror;
        std::vector<TServedChunk> served;
        for (int index = 0; index < 4; ++index)
            served.push_back(
                makeChunk(*m_server, QStringLiteral("/pkg/objects/%1").arg(index), pseudoRandom(1500, 40 + index)));
        const QByteArray deltaBody = pseudoRandom(100, 50);
        for (const TServedChunk& object : served) {
            m_server->setResponse(object.path, TTestHttpResponse().status(500).body("down"));
            mirror.setResponse(QStringLiteral("/m/") + object.path.mid(5), TTestHttpResponse().body(object.body));
        }
        const QString deltaPath = QStringLiteral("/pkg/deltas/d");
        m_server->setResponse(deltaPath, TTestHttpResponse().status(500).body("down").held());
        mirror.setResponse(QStringLiteral("/m/deltas/d"), TTestHttpResponse().body(deltaBody));
        std::vector<const TServedChunk*> chunks;
        for (const TServedChunk& object : served)
            chunks.push_back(&object);
        TFileToDownload file = fileOf(QStringLiteral("f"), chunks);
        // Its base was never kept, so the rebuild fails whatever the delta holds.
        auto source = std::make_shared<TChunkDeltaSource>();
        source->delta.from = {shared::TSha256::hash("absent base")};
        source->delta.url = m_server->url(deltaPath);
        source->delta.size = static_cast<quint64>(deltaBody.size());
        source->delta.sha256 = shared::TSha256::hash(deltaBody);
        source->baseStore = std::make_shared<TDeltaBaseStore>(installDirectory());
        file.deltaSources[3] = source;

        TTestSettings twoAtOnce;
        twoAtOnce.maxConcurrentDownloads = 2;
        auto downloader = makeDownloader(twoAtOnce);
        downloader->setMirrorLocations(
            TMirrorLocations(m_server->url(QStringLiteral("/pkg/")), {mirror.url(QStringLiteral("/m/"))}));
        QSignalSpy completed(downloader.get(), &TPackageFileDownloader::downloadCompleted);
        QSignalSpy failed(downloader.get(), &TPackageFileDownloader::downloadFailed);
        downloader->downloadFiles(QDir(installDirectory()), 0, {file});
        // The delta holds one slot while the other objects fail on the own location and move.
        QTRY_COMPARE(m_server->heldCount(deltaPath), 1);
        for (int index = 0; index < 3; ++index)
            QTRY_COMPARE_WITH_TIMEOUT(mirror.requestCount(QStringLiteral("/m/objects/%1").arg(index)), 1, 30000);
        downloader->pause();
        downloader->resume();
        QTRY_COMPARE_WITH_TIMEOUT(completed.count() + failed.count(), 1, 60000);

        QCOMPARE(completed.count(), 1);
        QCOMPARE(readFile(installed(QStringLiteral("f"))), contentOf(chunks));
        QCOMPARE(mirror.requestCount(QStringLiteral("/m/deltas/d")), 1);
        QCOMPARE(m_server->requestCount(served[3].path), 0);
        QCOMPARE(mirror.requestCount(QStringLiteral("/m/objects/3")), 1);
        m_server->releaseHeld(deltaPath);
    }

    void corruptChunkIsFetchedAgainAndNeverWritten_data()
    {
        QTest::addColumn<bool>("staysCorrupt");
        QTest::newRow("corrupt once") << false;
        QTest::newRow("always corrupt") << true;
    }

    void corruptChunkIsFetchedAgainAndNeverWritten()
    {
        QFETCH(bool, staysCorrupt);
        const TServedChunk a = chunk(QStringLiteral("a"), 1000, 1);
        const TServedChunk b = chunk(QStringLiteral("b"), 1500, 2);
        // A valid container of other bytes of the same size: only the hash check can tell.
        const TServedChunk corrupt = chunk(QStringLiteral("b"), 1500, 99);
        serve(a);
        m_server->setResponse(b.path, TTestHttpResponse().body(corrupt.body).held());

        auto downloader = makeDownloader();
        QSignalSpy completed(downloader.get(), &TPackageFileDownloader::downloadCompleted);
        QSignalSpy failed(downloader.get(), &TPackageFileDownloader::downloadFailed);
        downloader->downloadFiles(QDir(installDirectory()), 0, {fileOf(QStringLiteral("f"), {&a, &b})});
        QTRY_COMPARE(m_server->heldCount(b.path), 1);
        if (staysCorrupt)
            m_server->setContent(b.path, corrupt.body);
        else
            serve(b);
        m_server->releaseHeld(b.path);
        QTRY_COMPARE_WITH_TIMEOUT(completed.count() + failed.count(), 1, 30000);

        QCOMPARE(m_log->count(QStringLiteral("Info: saveDownloadedData failed: invalid hash")), staysCorrupt ? 4 : 1);
        QCOMPARE(m_log->count(QStringLiteral("Warning: Failed to verify file downloaded from %1")
                                  .arg(TLogCapture::literal(quotedUrl(b)))),
                 staysCorrupt ? 4 : 1);
        QVERIFY(!readFile(installed(QStringLiteral("f"))).contains(corrupt.content.left(64)));
        if (staysCorrupt) {
            QCOMPARE(m_server->requestCount(b.path), 4);
            QCOMPARE(reasonOf(failed), EPackageDownloaderError::DownloadFailed);
            QCOMPARE(
                m_log->count(QStringLiteral("Critical: Verify of  %1 failed.").arg(TLogCapture::literal(quotedUrl(b)))),
                1);
            QCOMPARE(readFile(installed(QStringLiteral("f"))), a.content);
        } else {
            QCOMPARE(m_server->requestCount(b.path), 2);
            QCOMPARE(completed.count(), 1);
            QCOMPARE(readFile(installed(QStringLiteral("f"))), contentOf({&a, &b}));
            QCOMPARE(m_log->countContaining(QStringLiteral("saveDownloadedData chunk  ") + quotedUrl(b) +
                                            QStringLiteral("  to  ")),
                     1);
        }
    }

    void stalledConnectionTimesOutAndIsRetried()
    {
        const TServedChunk a = chunk(QStringLiteral("a"), 2000, 1);
        m_server->setResponse(a.path, TTestHttpResponse().body(a.body).stall());
        auto downloader = makeDownloader();
        downloader->downloadPool()->setTransferTimeout(300);
        QSignalSpy completed(downloader.get(), &TPackageFileDownloader::downloadCompleted);
        downloader->downloadFiles(QDir(installDirectory()), 0, {fileOf(QStringLiteral("f"), {&a})});
        QTRY_COMPARE(m_server->requestCount(a.path), 1);
        serve(a);
        QTRY_COMPARE_WITH_TIMEOUT(completed.count(), 1, 20000);
        QCOMPARE(m_server->requestCount(a.path), 2);
        QCOMPARE(m_log->count(QStringLiteral("Info: onDownloadFailed  %1  Thread:  %2")
                                  .arg(TLogCapture::literal(quotedUrl(a)), Thread)),
                 1);
        QCOMPARE(readFile(installed(QStringLiteral("f"))), a.content);
    }

    void heldCopiesSpillToTemporaryFiles_data()
    {
        QTest::addColumn<int>("maxCachedChunks");
        QTest::addColumn<quint64>("maxHeldBytes");
        QTest::addColumn<int>("inMemory");
        QTest::addColumn<int>("inTemporaryFiles");
        const quint64 defaultBound = TPendingChunkStore::DefaultMaxHeldBytes;
        QTest::newRow("no cache: one in memory, the rest in files") << 0 << defaultBound << 1 << 2;
        QTest::newRow("default cache: all in memory") << 100 << defaultBound << 3 << 0;
        // Held in the order d (4000 bytes), c (3000), b (2000): b no longer fits.
        QTest::newRow("byte bound: the copy beyond it in a file") << 100 << quint64(8000) << 2 << 1;
    }

    void heldCopiesSpillToTemporaryFiles()
    {
        QFETCH(int, maxCachedChunks);
        QFETCH(quint64, maxHeldBytes);
        QFETCH(int, inMemory);
        QFETCH(int, inTemporaryFiles);
        const TServedChunk a = chunk(QStringLiteral("a"), 1000, 1);
        const TServedChunk b = chunk(QStringLiteral("b"), 2000, 2, 5);
        const TServedChunk c = chunk(QStringLiteral("c"), 3000, 3);
        const TServedChunk d = chunk(QStringLiteral("d"), 4000, 4, -1);
        for (const TServedChunk* served : {&a, &b, &c, &d})
            serve(*served, TTestHttpResponse().held());

        // Spilled copies go to the disk the package goes to, never to the system's temporary
        // folder (which may live in memory): here that folder can't be written.
        const testsupport::TUnusableTemporaryFolder unusableTemporaryFolder;
        QVERIFY(unusableTemporaryFolder.isValid());
        auto downloader = makeDownloader(withMaxCachedChunks(maxCachedChunks));
        downloader->setMaxHeldBytes(maxHeldBytes);
        QSignalSpy completed(downloader.get(), &TPackageFileDownloader::downloadCompleted);
        downloader->downloadFiles(QDir(installDirectory()), 0, {fileOf(QStringLiteral("f"), {&a, &b, &c, &d})});
        QTRY_COMPARE(m_server->heldCount(), 4);
        for (const TServedChunk* served : {&d, &c, &b}) {
            m_server->releaseHeld(served->path);
            QVERIFY(waitForSave(*served));
        }
        QCOMPARE(downloader->inMemoryChunkCount(), inMemory);
        QCOMPARE(downloader->temporaryChunkFileCount(), inTemporaryFiles);
        // The spilled copies have no name that a killed launcher could leave behind.
        QStringList entries =
            QDir(installDirectory()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
        entries.removeAll(QStringLiteral("f"));
        QCOMPARE(entries, QStringList());
        QCOMPARE(
            m_log->count(QStringLiteral("Info: saveDownloadedData chunk  %1  not found for  \".*/f\" . => Wait for "
                                        "chunk  Thread:  %2")
                             .arg(TLogCapture::literal(quotedUrl(c)), Thread)),
            1);

        m_server->releaseHeld(a.path);
        QTRY_COMPARE(completed.count(), 1);
        QCOMPARE(readFile(installed(QStringLiteral("f"))), contentOf({&a, &b, &c, &d}));
        QCOMPARE(m_log->countContaining(QStringLiteral(" from temp file to ")), inTemporaryFiles);
        QCOMPARE(m_log->countContaining(QStringLiteral(" from cache to ")), inMemory);
        QCOMPARE(downloader->inMemoryChunkCount(), 0);
        QCOMPARE(downloader->temporaryChunkFileCount(), 0);
    }

    void chunksBeyondTheHeldBoundWaitUntilTheFrontArrives()
    {
        const TServedChunk a = chunk(QStringLiteral("a"), 1000, 11);
        const TServedChunk b = chunk(QStringLiteral("b"), 2000, 12);
        const TServedChunk c = chunk(QStringLiteral("c"), 3000, 13);
        const TServedChunk d = chunk(QStringLiteral("d"), 4000, 14);
        serve(a, TTestHttpResponse().held());
        for (const TServedChunk* served : {&b, &c, &d})
            serve(*served);
        TTestSettings settings;
        settings.maxConcurrentDownloads = 2;
        auto downloader = makeDownloader(settings);
        // b alone fills the bound while a, the front of the file, stalls.
        downloader->setMaxHeldBytes(2000);
        QSignalSpy completed(downloader.get(), &TPackageFileDownloader::downloadCompleted);
        downloader->downloadFiles(QDir(installDirectory()), 0, {fileOf(QStringLiteral("f"), {&a, &b, &c, &d})});
        QVERIFY(waitForSave(b));
        QTRY_COMPARE(downloader->downloadPool()->requestCount(), 1);
        QCOMPARE(m_server->requestCount(c.path) + m_server->requestCount(d.path), 0);

        m_server->releaseHeld(a.path);
        QTRY_COMPARE(completed.count(), 1);
        QCOMPARE(readFile(installed(QStringLiteral("f"))), contentOf({&a, &b, &c, &d}));
        QCOMPARE(m_server->requestCount(c.path), 1);
    }

    void containerIsDecodedIntoAtMostTheChunkSize_data()
    {
        QTest::addColumn<int>("algorithm");
        QTest::addColumn<bool>("declaresMore");
        QTest::newRow("stored, declares more") << 0 << true;
        QTest::newRow("lzma, declares more") << 5 << true;
        QTest::newRow("stored, payload runs past the declared size") << 0 << false;
        QTest::newRow("lzma, stream runs past the declared size") << 5 << false;
    }

    void containerIsDecodedIntoAtMostTheChunkSize()
    {
        QFETCH(int, algorithm);
        QFETCH(bool, declaresMore);
        // The container holds 2000 bytes; the chunk record describes only its first 1000.
        TServedChunk served = chunk(QStringLiteral("big"), 2000, 7, algorithm);
        const QByteArray prefix = served.content.left(1000);
        if (!declaresMore) {
            // Declared unpacked size 2000 (0xD0 0x0F) becomes 1000 (0xE8 0x07).
            QCOMPARE(served.body.mid(2, 2), QByteArray("\xD0\x0F", 2));
            served.body.replace(2, 2, QByteArray("\xE8\x07", 2));
        }
        served.content = prefix;
        served.chunk.unpackedSize = 1000;
        served.chunk.unpackedHash = shared::TSha256::hash(prefix);
        serve(served);

        auto downloader = makeDownloader();
        QSignalSpy failed(downloader.get(), &TPackageFileDownloader::downloadFailed);
        QSignalSpy completed(downloader.get(), &TPackageFileDownloader::downloadCompleted);
        downloader->downloadFiles(QDir(installDirectory()), 0, {fileOf(QStringLiteral("f"), {&served})});
        QTRY_COMPARE(failed.count(), 1);
        QCOMPARE(completed.count(), 0);
        QCOMPARE(reasonOf(failed), EPackageDownloaderError::DownloadFailed);
        // A decoding failure is not retried.
        QCOMPARE(m_server->requestCount(served.path), 1);
        QCOMPARE(m_log->count(QStringLiteral("Warning: Failed to decompress file downloaded from %1")
                                  .arg(TLogCapture::literal(quotedUrl(served)))),
                 1);
        QVERIFY(!QFileInfo::exists(installed(QStringLiteral("f"))));
    }

    void inconsistentEntriesFailTheRunWithoutTouchingAnything()
    {
        const TServedChunk a = chunk(QStringLiteral("a"), 1000, 1);
        const TServedChunk b = chunk(QStringLiteral("b"), 1000, 2);
        serve(a);
        serve(b);
        writeFile(installed(QStringLiteral("keep.txt")), "kept");
        TFileToDownload outOfRange = fileOf(QStringLiteral("range"), {&a}, {0, 4});
        TFileToDownload wrongSize = fileOf(QStringLiteral("size"), {&a});
        wrongSize.unpackedSize += 1;
        TFileToDownload directory = fileOf(QStringLiteral(".."), {&b});

        auto downloader = makeDownloader();
        QSignalSpy failed(downloader.get(), &TPackageFileDownloader::downloadFailed);
        QSignalSpy completed(downloader.get(), &TPackageFileDownloader::downloadCompleted);
        downloader->downloadFiles(QDir(installDirectory()), 0,
                                  {outOfRange, wrongSize, directory, fileOf(QStringLiteral("good"), {&b}),
                                   fileOf(QStringLiteral("./good"), {&a})});
        QTRY_COMPARE(failed.count(), 1);
        QCOMPARE(reasonOf(failed), EPackageDownloaderError::DownloadFailed);
        QCOMPARE(completed.count(), 0);
        QCOMPARE(readFile(installed(QStringLiteral("good"))), b.content);
        QCOMPARE(readFile(installed(QStringLiteral("keep.txt"))), QByteArray("kept"));
        QVERIFY(!QFileInfo::exists(installed(QStringLiteral("range"))));
        QVERIFY(!QFileInfo::exists(installed(QStringLiteral("size"))));
        QCOMPARE(m_server->requestCount(a.path), 0);

        // Nothing valid at all: the failure still arrives, and only from the event loop.
        auto second = makeDownloader();
        QSignalSpy secondFailed(second.get(), &TPackageFileDownloader::downloadFailed);
        second->downloadFiles(QDir(installDirectory()), 0, {outOfRange});
        QCOMPARE(secondFailed.count(), 0);
        QTRY_COMPARE(secondFailed.count(), 1);
    }

    void selfUpdateModeMovesUndeletableFileAside_data()
    {
        QTest::addColumn<int>("selfUpdateMode");
        QTest::newRow("self-update") << 1;
        QTest::newRow("ordinary installation") << 0;
    }

    void selfUpdateModeMovesUndeletableFileAside()
    {
        QFETCH(int, selfUpdateMode);
        const TServedChunk a = chunk(QStringLiteral("a"), 3000, 1);
        serve(a);
        writeFile(installed(QStringLiteral("bin/launcher")), "running program");
        writeFile(installed(QStringLiteral("bin/launcher.old")), "older program");

        auto downloader = makeDownloader();
        downloader->setFileSystemHelper(std::make_shared<TUndeletableFiles>());
        QSignalSpy completed(downloader.get(), &TPackageFileDownloader::downloadCompleted);
        QSignalSpy failed(downloader.get(), &TPackageFileDownloader::downloadFailed);
        downloader->downloadFiles(QDir(installDirectory()), selfUpdateMode,
                                  {fileOf(QStringLiteral("bin/launcher"), {&a})});
        QTRY_COMPARE(completed.count() + failed.count(), 1);
        if (selfUpdateMode == 1) {
            QCOMPARE(completed.count(), 1);
            QCOMPARE(readFile(installed(QStringLiteral("bin/launcher"))), a.content);
            QCOMPARE(readFile(installed(QStringLiteral("bin/launcher.old"))), QByteArray("running program"));
        } else {
            QCOMPARE(reasonOf(failed), EPackageDownloaderError::DownloadFailed);
            QCOMPARE(readFile(installed(QStringLiteral("bin/launcher"))), QByteArray("running program"));
            QCOMPARE(readFile(installed(QStringLiteral("bin/launcher.old"))), QByteArray("older program"));
            QCOMPARE(m_log->count(QStringLiteral("Warning: Failed to save file downloaded from %1  Thread:  %2")
                                      .arg(TLogCapture::literal(quotedUrl(a)), Thread)),
                     1);
        }
    }

    void executableBitIsSetAfterTheLastPosition()
    {
        const TServedChunk a = chunk(QStringLiteral("a"), 1000, 1);
        const TServedChunk b = chunk(QStringLiteral("b"), 1000, 2);
        serve(a);
        serve(b, TTestHttpResponse().held());
        auto downloader = makeDownloader();
        QSignalSpy completed(downloader.get(), &TPackageFileDownloader::downloadCompleted);
        downloader->downloadFiles(
            QDir(installDirectory()), 0,
            {fileOf(QStringLiteral("client"), {&a, &b}, {}, true), fileOf(QStringLiteral("data"), {&a})});
        QVERIFY(waitForSave(a));
        QCOMPARE(QFileInfo(installed(QStringLiteral("client"))).size(), 1000);
        QCOMPARE(QFile::permissions(installed(QStringLiteral("client"))) & ExecuteForAll, QFileDevice::Permissions());
        QTRY_COMPARE(m_server->heldCount(b.path), 1);
        m_server->releaseHeld(b.path);
        QTRY_COMPARE(completed.count(), 1);
        QCOMPARE(QFile::permissions(installed(QStringLiteral("client"))) & ExecuteForAll, ExecuteForAll);
        QCOMPARE(QFile::permissions(installed(QStringLiteral("data"))) & ExecuteForAll, QFileDevice::Permissions());
    }

    void partialRewriteKeepsTheOtherBytes()
    {
        const TServedChunk a = chunk(QStringLiteral("a"), 1000, 1);
        const TServedChunk b = chunk(QStringLiteral("b"), 2000, 2);
        const TServedChunk c = chunk(QStringLiteral("c"), 1500, 3);
        serve(b);
        // Whatever lies beyond the new end of the file goes.
        writeFile(installed(QStringLiteral("f")), a.content + pseudoRandom(2000, 50) + c.content + "old tail");
        auto downloader = makeDownloader(withChunkVerification());
        QSignalSpy completed(downloader.get(), &TPackageFileDownloader::downloadCompleted);
        downloader->downloadFiles(QDir(installDirectory()), 0, {fileOf(QStringLiteral("f"), {&a, &b, &c}, {1})});
        QTRY_COMPARE(completed.count(), 1);
        QCOMPARE(readFile(installed(QStringLiteral("f"))), contentOf({&a, &b, &c}));
        QCOMPARE(m_server->requestCount(a.path) + m_server->requestCount(c.path), 0);
        // chunkVerification reads the kept chunk in front of the write back first.
        QCOMPARE(readFile(installed(QStringLiteral("f.log"))),
                 QByteArray("0: check succeeded\n1000: write succeeded\n"));
    }

    void partialRewriteOfAVanishedFileFails()
    {
        const TServedChunk a = chunk(QStringLiteral("a"), 1000, 1);
        const TServedChunk b = chunk(QStringLiteral("b"), 2000, 2);
        serve(b);
        auto downloader = makeDownloader();
        QSignalSpy failed(downloader.get(), &TPackageFileDownloader::downloadFailed);
        downloader->downloadFiles(QDir(installDirectory()), 0, {fileOf(QStringLiteral("f"), {&a, &b}, {1})});
        QTRY_COMPARE(failed.count(), 1);
        // Writing b alone would leave zeros where a belongs.
        QVERIFY(!QFileInfo::exists(installed(QStringLiteral("f"))));
    }

    void fullRewriteReplacesTheOldFile()
    {
        const TServedChunk a = chunk(QStringLiteral("a"), 1000, 1);
        serve(a);
        writeFile(installed(QStringLiteral("f")), pseudoRandom(5000, 9));
        QDir().mkpath(installed(QStringLiteral("was-a-folder/inside")));
        auto downloader = makeDownloader();
        QSignalSpy completed(downloader.get(), &TPackageFileDownloader::downloadCompleted);
        downloader->downloadFiles(QDir(installDirectory()), 0,
                                  {fileOf(QStringLiteral("f"), {&a}), fileOf(QStringLiteral("was-a-folder"), {&a})});
        QTRY_COMPARE(completed.count(), 1);
        QCOMPARE(readFile(installed(QStringLiteral("f"))), a.content);
        QCOMPARE(readFile(installed(QStringLiteral("was-a-folder"))), a.content);
        QCOMPARE(m_server->requestCount(a.path), 1);
    }

    void runStartedAgainBeforeItsPlanIsBackIsReplaced()
    {
        // The plan of a run is made on the thread pool; a new run started meanwhile takes its place.
        const TServedChunk a = chunk(QStringLiteral("a"), 1000, 1);
        const TServedChunk b = chunk(QStringLiteral("b"), 1000, 2);
        serve(a);
        serve(b);
        auto downloader = makeDownloader();
        QSignalSpy completed(downloader.get(), &TPackageFileDownloader::downloadCompleted);
        QSignalSpy failed(downloader.get(), &TPackageFileDownloader::downloadFailed);
        downloader->downloadFiles(QDir(installDirectory()), 0, {fileOf(QStringLiteral("first"), {&a})});
        downloader->downloadFiles(QDir(installDirectory()), 0, {fileOf(QStringLiteral("second"), {&b})});
        QTRY_COMPARE(completed.count(), 1);
        QCOMPARE(failed.count(), 0);
        QCOMPARE(readFile(installed(QStringLiteral("second"))), b.content);
        QVERIFY(!QFileInfo::exists(installed(QStringLiteral("first"))));
        QCOMPARE(m_server->requestCount(a.path), 0);
    }

    void fileLeftIncompleteIsAFailure()
    {
        // Package data that gives one URL two different contents: the second one never arrives.
        const TServedChunk a = chunk(QStringLiteral("a"), 1000, 1);
        TServedChunk other = chunk(QStringLiteral("a"), 1000, 2);
        serve(a);
        auto downloader = makeDownloader();
        QSignalSpy completed(downloader.get(), &TPackageFileDownloader::downloadCompleted);
        QSignalSpy failed(downloader.get(), &TPackageFileDownloader::downloadFailed);
        downloader->downloadFiles(QDir(installDirectory()), 0, {fileOf(QStringLiteral("f"), {&a, &other})});
        QTRY_COMPARE(completed.count() + failed.count(), 1);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(reasonOf(failed), EPackageDownloaderError::DownloadFailed);
        QCOMPARE(m_log->count(QStringLiteral("Warning: file \".*/f\" was left with 1 chunks unwritten")), 1);
    }

    void symbolicLinkInTheWayIsReplacedNotFollowed_data()
    {
        QTest::addColumn<QString>("localFile");
        QTest::addColumn<bool>("partial");
        // "data" links to a folder outside the installation holding precious.txt.
        QTest::newRow("the file is a link") << QStringLiteral("data") << false;
        QTest::newRow("a folder on the way is a link") << QStringLiteral("data/precious.txt") << false;
        QTest::newRow("a file updated in part is a link") << QStringLiteral("data") << true;
    }

    void symbolicLinkInTheWayIsReplacedNotFollowed()
    {
        QFETCH(QString, localFile);
        QFETCH(bool, partial);
        const TServedChunk a = chunk(QStringLiteral("a"), 1000, 1);
        const TServedChunk b = chunk(QStringLiteral("b"), 1000, 2);
        serve(a);
        serve(b);
        QTemporaryDir outside;
        const QString precious = QDir(outside.path()).filePath(QStringLiteral("precious.txt"));
        writeFile(precious, a.content + "precious");
        QDir().mkpath(installDirectory());
        const QString link = installed(QStringLiteral("data"));
        QVERIFY(QFile::link(partial ? precious : outside.path(), link));
        auto downloader = makeDownloader();
        QSignalSpy completed(downloader.get(), &TPackageFileDownloader::downloadCompleted);
        QSignalSpy failed(downloader.get(), &TPackageFileDownloader::downloadFailed);
        downloader->downloadFiles(
            QDir(installDirectory()), 0,
            {fileOf(localFile, {&a, &b}, partial ? std::vector<qint32>{1} : std::vector<qint32>{})});
        QTRY_COMPARE(completed.count() + failed.count(), 1);
        QCOMPARE(readFile(precious), a.content + "precious");
        QCOMPARE(completed.count(), partial ? 0 : 1);
        if (!partial) {
            QCOMPARE(readFile(installed(localFile)), contentOf({&a, &b}));
            QVERIFY(!QFileInfo(link).isSymLink());
        }
    }

    void selfUpdateSwapsFilesInOnlyAfterTheWholeRun_data()
    {
        QTest::addColumn<bool>("lastChunkArrives");
        QTest::newRow("run succeeds") << true;
        QTest::newRow("run fails") << false;
    }

    void selfUpdateSwapsFilesInOnlyAfterTheWholeRun()
    {
        QFETCH(bool, lastChunkArrives);
        const TServedChunk a = chunk(QStringLiteral("a"), 1000, 1);
        const TServedChunk b = chunk(QStringLiteral("b"), 1000, 2);
        serve(a);
        serve(b, lastChunkArrives ? TTestHttpResponse().held() : TTestHttpResponse().status(404));
        const QString program = installed(QStringLiteral("bin/launcher"));
        writeFile(program, "running program");
        writeFile(installed(QStringLiteral("notes")), "old notes");
        auto downloader = makeDownloader();
        QSignalSpy completed(downloader.get(), &TPackageFileDownloader::downloadCompleted);
        QSignalSpy failed(downloader.get(), &TPackageFileDownloader::downloadFailed);
        downloader->downloadFiles(
            QDir(installDirectory()), 1,
            {fileOf(QStringLiteral("bin/launcher"), {&a, &b}, {}, true), fileOf(QStringLiteral("notes"), {&a})});
        if (lastChunkArrives) {
            QVERIFY(waitForSave(a));
            // Both files wait for the whole run: the one already complete too.
            QCOMPARE(readFile(program), QByteArray("running program"));
            QCOMPARE(readFile(installed(QStringLiteral("notes"))), QByteArray("old notes"));
            QTRY_COMPARE(m_server->heldCount(b.path), 1);
            m_server->releaseHeld(b.path);
        }
        QTRY_COMPARE(completed.count() + failed.count(), 1);
        QCOMPARE(completed.count(), lastChunkArrives ? 1 : 0);
        QCOMPARE(readFile(program), lastChunkArrives ? contentOf({&a, &b}) : QByteArray("running program"));
        QCOMPARE(QFileInfo(program).isExecutable(), lastChunkArrives);
        QCOMPARE(readFile(installed(QStringLiteral("notes"))), lastChunkArrives ? a.content : QByteArray("old notes"));
        QCOMPARE(QFileInfo::exists(program + QStringLiteral(".old")), lastChunkArrives);
        QVERIFY(!QFileInfo::exists(program + QStringLiteral(".new")));
        QVERIFY(!QFileInfo::exists(installed(TReplacementJournal::journalName)));
    }

    void selfUpdateLeavesFoldersAtItsNames_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::newRow("at the file's name") << QStringLiteral("bin/launcher");
        QTest::newRow("at the new version's name") << QStringLiteral("bin/launcher.new");
        QTest::newRow("at the backup's name") << QStringLiteral("bin/launcher.old");
    }

    // The launcher makes only files at these names in the program folder; a folder there is
    // somebody else's and must not be removed with what it holds: the update fails instead.
    void selfUpdateLeavesFoldersAtItsNames()
    {
        QFETCH(QString, folder);
        const TServedChunk a = chunk(QStringLiteral("a"), 1000, 1);
        serve(a);
        const QString kept = installed(folder + QStringLiteral("/kept.txt"));
        writeFile(kept, "somebody's data");
        auto downloader = makeDownloader();
        QSignalSpy completed(downloader.get(), &TPackageFileDownloader::downloadCompleted);
        QSignalSpy failed(downloader.get(), &TPackageFileDownloader::downloadFailed);
        downloader->downloadFiles(QDir(installDirectory()), 1, {fileOf(QStringLiteral("bin/launcher"), {&a})});
        QTRY_COMPARE(completed.count() + failed.count(), 1);
        QCOMPARE(failed.count(), 1);
        QCOMPARE(readFile(kept), QByteArray("somebody's data"));
    }

    void journalFinishesAnInterruptedSwap()
    {
        // Cut short after the first of two swaps: "first" is new already, "second" still waits.
        writeFile(installed(QStringLiteral("first")), "first 2");
        writeFile(installed(QStringLiteral("first.old")), "first 1");
        writeFile(installed(QStringLiteral("second")), "second 1");
        writeFile(installed(QStringLiteral("second.new")), "second 2");
        const TReplacementJournal journal{QDir(installDirectory())};
        QVERIFY(!journal.resume());
        writeFile(installed(TReplacementJournal::journalName),
                  (installed(QStringLiteral("first")) + '\n' + installed(QStringLiteral("second")) + '\n').toUtf8());
        QVERIFY(journal.resume());
        QCOMPARE(readFile(installed(QStringLiteral("first"))), QByteArray("first 2"));
        QCOMPARE(readFile(installed(QStringLiteral("first.old"))), QByteArray("first 1"));
        QCOMPARE(readFile(installed(QStringLiteral("second"))), QByteArray("second 2"));
        QCOMPARE(readFile(installed(QStringLiteral("second.old"))), QByteArray("second 1"));
        QVERIFY(!QFileInfo::exists(installed(QStringLiteral("second.new"))));
        QVERIFY(!QFileInfo::exists(installed(TReplacementJournal::journalName)));
    }

    void filesOfOneChunkLogOneLineEach()
    {
        const TServedChunk a = chunk(QStringLiteral("a"), 1000, 1);
        const TServedChunk b = chunk(QStringLiteral("b"), 2000, 2, 5);
        const TServedChunk c = chunk(QStringLiteral("c"), 3000, 3);
        for (const TServedChunk* served : {&a, &b, &c})
            serve(*served);
        auto downloader = makeDownloader();
        QSignalSpy completed(downloader.get(), &TPackageFileDownloader::downloadCompleted);
        downloader->downloadFiles(QDir(installDirectory()), 0,
                                  {fileOf(QStringLiteral("small"), {&a}), fileOf(QStringLiteral("big"), {&b, &c})});
        QTRY_COMPARE(completed.count(), 1);
        QCOMPARE(readFile(installed(QStringLiteral("small"))), a.content);
        QCOMPARE(readFile(installed(QStringLiteral("big"))), contentOf({&b, &c}));

        QCOMPARE(m_log->countContaining(quotedUrl(a)), 1);
        QCOMPARE(m_log->count(QStringLiteral("Info: processDownloadedData save completed  %1  Thread:  %2")
                                  .arg(TLogCapture::literal(quotedUrl(a)), Thread)),
                 1);
        // The chunks of a file of several chunks keep their lines of every step.
        for (const QString& step : {QStringLiteral("start download of  "), QStringLiteral("onDownloadCompleted  "),
                                    QStringLiteral("processDownloadedData decompress  "),
                                    QStringLiteral("processDownloadedData verify finished  "),
                                    QStringLiteral("processFinishedData found:  ")})
            QCOMPARE(m_log->countContaining(step + quotedUrl(b)), 1);
        QCOMPARE(m_log->countContaining(QStringLiteral("FilesInProgress:  0 ")), 1);
    }

    void filesWaitingForAChunkHoldNoDescriptors()
    {
        constexpr int FileCount = 300;
        const TServedChunk a = chunk(QStringLiteral("a"), 100, 1);
        const TServedChunk b = chunk(QStringLiteral("b"), 100, 2);
        serve(a);
        serve(b, TTestHttpResponse().held());
        QList<TFileToDownload> files;
        for (int index = 0; index < FileCount; ++index)
            files << fileOf(QStringLiteral("f%1").arg(index), {&a, &b});
        auto downloader = makeDownloader();
        QSignalSpy completed(downloader.get(), &TPackageFileDownloader::downloadCompleted);
        const int openBefore =
            QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size();
        downloader->downloadFiles(QDir(installDirectory()), 0, files);
        QVERIFY(waitForSave(a));
        const int openWhileWaiting =
            QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::AllEntries | QDir::NoDotAndDotDot).size();
        QVERIFY2(openWhileWaiting - openBefore < FileCount / 10,
                 qPrintable(QStringLiteral("%1 more open").arg(openWhileWaiting - openBefore)));
        QTRY_COMPARE(m_server->heldCount(b.path), 1);
        m_server->releaseHeld(b.path);
        QTRY_COMPARE(completed.count(), 1);
        QCOMPARE(readFile(installed(QStringLiteral("f%1").arg(FileCount - 1))), contentOf({&a, &b}));
    }

    void transferRateIgnoresFallingTotals()
    {
        TTransferRate rate;
        rate.addTotal(100);
        rate.addTotal(300);
        QCOMPARE(rate.count, quint64(2));
        QCOMPARE(rate.maximum, quint64(200));
        QCOMPARE(rate.mean, 150.0);
        // A retried download restarts its count: the total falls.
        rate.addTotal(50);
        QCOMPARE(rate.count, quint64(3));
        QCOMPARE(rate.minimum, quint64(0));
        QCOMPARE(rate.maximum, quint64(200));
        QCOMPARE(rate.mean, 100.0);
        rate.addTotal(150);
        QCOMPARE(rate.maximum, quint64(200));

        TTransferRate steady;
        for (int tick = 0; tick < 31; ++tick)
            steady.add(tick % 2 == 0 ? 10 : 20);
        QCOMPARE(steady.count, quint64(1));
        QCOMPARE(steady.minimum, steady.maximum);
        QCOMPARE(steady.minimum, quint64(14));
    }

    void pausedRunRequestsNothingAndResumesWithoutFetchingWrittenChunksAgain()
    {
        const TServedChunk a = chunk(QStringLiteral("a"), 1000, 21);
        const TServedChunk b = chunk(QStringLiteral("b"), 2000, 22);
        const TServedChunk c = chunk(QStringLiteral("c"), 3000, 23);
        const TServedChunk d = chunk(QStringLiteral("d"), 4000, 24);
        serve(a);
        serve(b, TTestHttpResponse().held());
        serve(c, TTestHttpResponse().held());
        serve(d);
        TTestSettings settings;
        settings.maxConcurrentDownloads = 2;
        auto downloader = makeDownloader(settings);
        // The pause below outlasts the inactivity time-out.
        downloader->downloadPool()->setTransferTimeout(300);
        QSignalSpy completed(downloader.get(), &TPackageFileDownloader::downloadCompleted);
        QSignalSpy failed(downloader.get(), &TPackageFileDownloader::downloadFailed);
        downloader->downloadFiles(QDir(installDirectory()), 0, {fileOf(QStringLiteral("f"), {&a, &b, &c, &d})});
        QVERIFY(waitForSave(a));
        QTRY_COMPARE(m_server->heldCount(), 2);

        downloader->pause();
        QCOMPARE(downloader->downloadPool()->requestCount(), 0);
        serve(b);
        serve(c);
        m_server->releaseHeld();
        QTest::qWait(1000);
        QCOMPARE(completed.count() + failed.count(), 0);
        QCOMPARE(m_server->requestCount(d.path), 0);
        QVERIFY(!downloader->downloadSecondsLeft());

        downloader->resume();
        QTRY_COMPARE(completed.count(), 1);
        QCOMPARE(failed.count(), 0);
        QCOMPARE(readFile(installed(QStringLiteral("f"))), contentOf({&a, &b, &c, &d}));
        QCOMPARE(m_server->requestCount(a.path), 1);
        QCOMPARE(m_server->requestCount(b.path), 2);
        QCOMPARE(m_server->requestCount(c.path), 2);
        QCOMPARE(m_server->requestCount(d.path), 1);
    }

    void timeLeftText_data()
    {
        QTest::addColumn<qint64>("seconds");
        QTest::addColumn<QString>("text");
        QTest::newRow("seconds") << qint64(59) << QStringLiteral("59 s");
        QTest::newRow("minutes") << qint64(125) << QStringLiteral("2 min 05 s");
        QTest::newRow("hours") << qint64(3900) << QStringLiteral("1 h 05 min");
        QTest::newRow("last shown") << TTimeLeftEstimator::MaximumSeconds << QStringLiteral("99 h 59 min");
        QTest::newRow("beyond") << TTimeLeftEstimator::MaximumSeconds + 1 << QStringLiteral("more than 99 h");
    }

    void timeLeftText()
    {
        QFETCH(qint64, seconds);
        QFETCH(QString, text);
        QCOMPARE(TTimeLeftEstimator::durationText(seconds), text);
    }

    void timeLeftEstimate_data()
    {
        // Samples of (milliseconds, bytes done) of 10 000 bytes.
        QTest::addColumn<TTimedSamples>("samples");
        QTest::addColumn<qint64>("secondsLeft");
        QTest::newRow("under two seconds: unknown") << TTimedSamples{{0, 0}, {1900, 1900}} << qint64(-1);
        QTest::newRow("1000 bytes a second") << TTimedSamples{{0, 0}, {1000, 1000}, {2000, 2000}} << qint64(8);
        QTest::newRow("rounded up") << TTimedSamples{{0, 0}, {2000, 3000}} << qint64(5);
        QTest::newRow("nothing gained: unknown") << TTimedSamples{{0, 500}, {3000, 500}} << qint64(-1);
        QTest::newRow("falling count starts over") << TTimedSamples{{0, 0}, {3000, 6000}, {3100, 100}} << qint64(-1);
        QTest::newRow("older samples forgotten")
            << TTimedSamples{{0, 0}, {1000, 5000}, {7000, 5600}, {9000, 5800}, {12000, 6100}} << qint64(39);
    }

    void timeLeftEstimate()
    {
        QFETCH(TTimedSamples, samples);
        QFETCH(qint64, secondsLeft);
        TTimeLeftEstimator estimator;
        for (const auto& [milliseconds, done] : samples)
            estimator.addSample(milliseconds, done, 10000);
        QCOMPARE(estimator.secondsLeft().value_or(-1), secondsLeft);
    }
};

QTEST_MAIN(TestDownloader)
#include "tst_downloader.moc"
