// The disk-space check before a download run: the bytes a run adds (new and growing files, the
// downloader's spilled copies, the copies of delta bases), the comparison with an injected
// free-space figure, and the texts.
#include "installation/TChunkDeltaSource.h"
#include "installation/TDeltaBaseStore.h"
#include "installation/TDiskSpaceCheck.h"
#include "installation/TDiskSpaceRequirement.h"
#include "installation/TDiskSpaceShortage.h"

#include "filesystemhelper/TFileSystemHelper.h"
#include "hash/TSha256.h"
#include "support/TestFiles.h"

#include <QTemporaryDir>
#include <QtTest>

#include <optional>
#include <vector>

using namespace orvan::launcher;
using testsupport::writeFile;

using TLimits = TDiskSpaceRequirement::THeldCopyLimits;
Q_DECLARE_METATYPE(std::vector<quint64>)
Q_DECLARE_METATYPE(std::optional<quint64>)

namespace {

// A file of one chunk per entry of Sizes, every chunk to download; equal sizes share a content.
TFileToDownload fileOfChunks(const QString& localFile, const std::vector<quint64>& sizes)
{
    TFileToDownload file;
    file.localFile = localFile;
    for (const quint64 size : sizes) {
        TChunkInPackage chunk;
        chunk.unpackedSize = size;
        chunk.unpackedHash = QByteArray::number(size);
        file.chunksToDownload.push_back(static_cast<qint32>(file.chunks.size()));
        file.chunks.push_back(chunk);
        file.unpackedSize += size;
    }
    return file;
}

} // namespace

class TestDiskSpace : public QObject
{
    Q_OBJECT

private slots:
    void fileBytesCountWhatTheFilesAdd_data()
    {
        QTest::addColumn<int>("presentSize");
        QTest::addColumn<quint64>("offeredSize");
        QTest::addColumn<bool>("selfUpdate");
        QTest::addColumn<quint64>("expected");
        QTest::newRow("new file") << -1 << quint64(1000) << false << quint64(1000);
        QTest::newRow("file grows") << 400 << quint64(1000) << false << quint64(600);
        QTest::newRow("file shrinks") << 1000 << quint64(400) << false << quint64(0);
        QTest::newRow("self-update assembles the whole file beside the old one")
            << 1000 << quint64(1000) << true << quint64(1000);
    }

    void fileBytesCountWhatTheFilesAdd()
    {
        QFETCH(int, presentSize);
        QFETCH(quint64, offeredSize);
        QFETCH(bool, selfUpdate);
        QFETCH(quint64, expected);
        QTemporaryDir directory;
        if (presentSize >= 0)
            writeFile(directory.filePath(QStringLiteral("data/world.pak")), QByteArray(presentSize, 'x'));
        const std::vector<TFileToDownload> files{fileOfChunks(QStringLiteral("data/world.pak"), {offeredSize})};
        // One content that the memory slots hold: no temporary copies.
        const TDiskSpaceRequirement requirement = TDiskSpaceRequirement::compute(
            files, QDir(directory.path()), ::shared::TFileSystemHelper(),
            selfUpdate ? ESelfUpdateMode::Launcher : ESelfUpdateMode::Off, TLimits{1, 1 << 20, 4});
        QCOMPARE(requirement.fileBytes(), expected);
        QCOMPARE(requirement.totalBytes(), expected);
    }

    void temporaryBytesBoundTheSpilledCopies_data()
    {
        QTest::addColumn<std::vector<quint64>>("chunkSizes");
        QTest::addColumn<int>("maxCachedChunks");
        QTest::addColumn<quint64>("maxHeldBytes");
        QTest::addColumn<quint64>("expected");
        // Three distinct contents of 100, 200 and 300 bytes.
        const std::vector<quint64> three{100, 200, 300};
        QTest::newRow("all fit the memory slots") << three << 2 << quint64(600) << quint64(0);
        QTest::newRow("a repeated content is held once")
            << std::vector<quint64>{100, 200, 200, 100} << 1 << quint64(300) << quint64(0);
        QTest::newRow("too many contents for the slots") << three << 1 << quint64(10000) << quint64(600);
        QTest::newRow("more bytes than the bound") << three << 10 << quint64(500) << quint64(600);
        // The bound plus one largest chunk for each of the two parallel downloads.
        QTest::newRow("byte bound caps the copies")
            << std::vector<quint64>{300, 400, 500, 600, 700} << 1 << quint64(100) << quint64(100 + 2 * 700);
    }

    void temporaryBytesBoundTheSpilledCopies()
    {
        QFETCH(std::vector<quint64>, chunkSizes);
        QFETCH(int, maxCachedChunks);
        QFETCH(quint64, maxHeldBytes);
        QFETCH(quint64, expected);
        const std::vector<TFileToDownload> files{fileOfChunks(QStringLiteral("a.bin"), chunkSizes)};
        QCOMPARE(TDiskSpaceRequirement::temporaryBytesFor(files, TLimits{maxCachedChunks, maxHeldBytes, 2}), expected);
    }

    void deltaBaseCopiesCountOncePerStore()
    {
        QTemporaryDir directory;
        const QByteArray base(3000, 'b');
        writeFile(directory.filePath(QStringLiteral("local.bin")), base);
        auto store = std::make_shared<TDeltaBaseStore>(directory.path());
        QVERIFY(store->keep(::shared::TSha256::hash(base), directory.filePath(QStringLiteral("local.bin")), 0, 3000));
        std::vector<TFileToDownload> files{fileOfChunks(QStringLiteral("a.bin"), {1000}),
                                           fileOfChunks(QStringLiteral("b.bin"), {2000})};
        for (TFileToDownload& file : files) {
            auto delta = std::make_shared<TChunkDeltaSource>();
            delta->baseStore = store;
            file.deltaSources[0] = delta;
        }
        const TDiskSpaceRequirement requirement = TDiskSpaceRequirement::compute(
            files, QDir(directory.path()), ::shared::TFileSystemHelper(), ESelfUpdateMode::Off, TLimits{1, 1 << 20, 4});
        QCOMPARE(requirement.scratchBytes(), quint64(3000));
        QCOMPARE(requirement.totalBytes(), quint64(1000 + 2000 + 3000));
    }

    void shortageComparesWithTheFreeSpace_data()
    {
        QTest::addColumn<quint64>("needed");
        QTest::addColumn<std::optional<quint64>>("available");
        QTest::addColumn<quint64>("held");
        QTest::addColumn<bool>("expectShortage");
        QTest::newRow("fits exactly") << quint64(5000) << std::optional<quint64>(5000) << quint64(0) << false;
        QTest::newRow("one byte short") << quint64(5001) << std::optional<quint64>(5000) << quint64(0) << true;
        QTest::newRow("nothing needed on a full disk")
            << quint64(0) << std::optional<quint64>(0) << quint64(0) << false;
        QTest::newRow("free space unknown") << quint64(5000) << std::optional<quint64>() << quint64(0) << false;
        // The run's scratch copies are part of what it needs and already take their share of the disk.
        QTest::newRow("fits with the run's own copies")
            << quint64(5000) << std::optional<quint64>(4000) << quint64(1000) << false;
        QTest::newRow("short beyond the run's own copies")
            << quint64(5000) << std::optional<quint64>(3999) << quint64(1000) << true;
    }

    void shortageComparesWithTheFreeSpace()
    {
        QFETCH(quint64, needed);
        QFETCH(std::optional<quint64>, available);
        QFETCH(quint64, held);
        QFETCH(bool, expectShortage);
        QTemporaryDir root;
        // Not created yet, as before a first installation: measured at the nearest existing folder.
        const QDir directory(root.filePath(QStringLiteral("packages/QuenmarOnline")));
        QStringList asked;
        TDiskSpaceCheck check;
        check.setFreeSpaceProvider([&](const QString& folder) {
            asked << folder;
            return available;
        });
        const std::optional<TDiskSpaceShortage> shortage = check.shortage(needed, directory, held);
        QCOMPARE(shortage.has_value(), expectShortage);
        if (needed > 0)
            QCOMPARE(asked, QStringList{QDir(root.path()).absolutePath()});
        if (shortage) {
            QCOMPARE(shortage->neededBytes, needed);
            QCOMPARE(shortage->availableBytes, *available + held);
            QCOMPARE(shortage->folder, directory.absolutePath());
        }
    }

    void realFreeSpaceIsReadFromTheFileSystem()
    {
        QTemporaryDir root;
        QVERIFY(TDiskSpaceCheck::storageBytesAvailable(root.path()).has_value());
        QVERIFY(!TDiskSpaceCheck().shortage(1, QDir(root.filePath(QStringLiteral("a/b")))));
    }

    void sizesReadInMegabytesOrGigabytes_data()
    {
        QTest::addColumn<quint64>("bytes");
        QTest::addColumn<QString>("text");
        QTest::newRow("nothing") << quint64(0) << QStringLiteral("0.0 MB");
        QTest::newRow("decimal megabytes") << quint64(1500000) << QStringLiteral("1.5 MB");
        QTest::newRow("just below a gigabyte") << quint64(999949999) << QStringLiteral("999.9 MB");
        QTest::newRow("rounds up to a gigabyte") << quint64(999950000) << QStringLiteral("1.0 GB");
        QTest::newRow("decimal gigabytes") << quint64(2345678901) << QStringLiteral("2.3 GB");
    }

    void sizesReadInMegabytesOrGigabytes()
    {
        QFETCH(quint64, bytes);
        QFETCH(QString, text);
        QCOMPARE(TDiskSpaceShortage::sizeText(bytes), text);
    }

    void shortageTextsNameTheFiguresAndTheFolder()
    {
        const TDiskSpaceShortage shortage{12600000, 8000000, QStringLiteral("/games/packages/QuenmarOnline")};
        QCOMPARE(shortage.messageText(QStringLiteral("Quenmar Online")),
                 QStringLiteral("The installation of Quenmar Online failed.\n\nThere is not enough free disk space "
                                "in\n/games/packages/QuenmarOnline\n\nNeeded: 12.6 MB\nFree: 8.0 MB\n\nFree up some "
                                "space, then try again."));
        QCOMPARE(shortage.logText(QStringLiteral("Quenmar Online")),
                 QStringLiteral("not enough disk space for Quenmar Online in /games/packages/QuenmarOnline: 12600000 "
                                "bytes needed, 8000000 bytes free; nothing is downloaded"));
    }
};

QTEST_GUILESS_MAIN(TestDiskSpace)
#include "tst_diskspace.moc"
