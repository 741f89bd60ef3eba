#include "support/PackageTestData.h"

#include "configuration/TPackage.h"
#include "hash/TSha256.h"
#include "installation/TDeltaBaseStore.h"
#include "installation/TInPlaceRebuilder.h"
#include "installation/TPackageDifference.h"
#include "installation/TPackageInstallation.h"
#include "installation/TPendingChunkStore.h"
#include "installation/TScratchFile.h"
#include "settings/TLauncherFilesystemHelper.h"
#include "support/TUnusableTemporaryFolder.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

using namespace orvan::launcher;
using namespace packagetest;

namespace {

/// Copies Length bytes at Offset of Source through one of the run's scratch stores, kept in
/// Folder, and tells whether reading them back gave the same bytes.
using TScratchCopy = std::function<bool(const QString& folder, const QString& source, int offset, int length)>;

const TFileToDownload* findEntry(const TPackageDifference& difference, const QString& localFile)
{
    for (const TFileToDownload& entry : difference.filesToDownload) {
        if (entry.localFile == localFile)
            return &entry;
    }
    return nullptr;
}

bool listsFile(const TFileInPackageVector& files, const QString& localFile)
{
    return std::any_of(files.begin(), files.end(),
                       [&](const TFileInPackage& file) { return file.localFile == localFile; });
}

std::vector<qint32> allPositions(std::size_t count)
{
    std::vector<qint32> positions;
    for (std::size_t position = 0; position < count; ++position)
        positions.push_back(static_cast<qint32>(position));
    return positions;
}

QByteArray appendFile(const QByteArray& document, const QJsonObject& file)
{
    QJsonObject root = QJsonDocument::fromJson(document).object();
    QJsonArray files = root.value(QStringLiteral("files")).toArray();
    files.append(file);
    root.insert(QStringLiteral("files"), files);
    return QJsonDocument(root).toJson();
}

TPackageConfigurationReader fromDocument(const QByteArray& document)
{
    return TPackageConfigurationReader(document, QByteArray(), QUrl::fromLocalFile(QStringLiteral("/srv")),
                                       QUrl::fromLocalFile(QStringLiteral("/srv")));
}

QStringList entriesOf(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

} // namespace

Q_DECLARE_METATYPE(TScratchCopy)

class TestDifference : public QObject
{
    Q_OBJECT

private:
    QString path(const QString& relative) const { return QDir(m_root->path()).filePath(relative); }
    QString installed(const QString& localFile) const { return path(QStringLiteral("install/") + localFile); }

    TPackageDifference compute(const TPackageConfigurationReader& offered,
                               const TPackageConfigurationReader& installed = TPackageConfigurationReader(),
                               bool fastScan = false)
    {
        TPackageInstallation installation(m_package, m_helper);
        installation.setInstallationDirectory(QDir(path(QStringLiteral("install"))));
        QSignalSpy progress(&installation, &TPackageInstallation::scanProgress);
        QFuture<TPackageDifference> future = installation.startComputingRequiredChanges(offered, installed, fastScan);
        future.waitForFinished();
        m_lastProgress = progress.isEmpty() ? QList<QVariant>() : progress.last();
        return future.result();
    }

    std::unique_ptr<QTemporaryDir> m_root;
    std::shared_ptr<TLauncherFilesystemHelper> m_helper;
    std::shared_ptr<TPackage> m_package;
    QList<QVariant> m_lastProgress;

private slots:
    void initTestCase()
    {
        m_helper = std::make_shared<TLauncherFilesystemHelper>();
        m_package = std::make_shared<TPackage>(0,
                                               QJsonObject{{QStringLiteral("name"), QStringLiteral("client")},
                                                           {QStringLiteral("directoryname"), QStringLiteral("client")}},
                                               QUrl());
    }

    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        QVERIFY(m_root->isValid());
        QDir().mkpath(path(QStringLiteral("install")));
    }

    void cleanup() { m_root.reset(); }

    void wholeFiles()
    {
        writeFile(path(QStringLiteral("v1/same.txt")), "unchanged content");
        writeFile(path(QStringLiteral("v1/longer.txt")), "0123456789");
        writeFile(path(QStringLiteral("v1/missing.txt")), "not installed yet");
        const TPackageConfigurationReader offered =
            buildPackage(path(QStringLiteral("v1")), path(QStringLiteral("out1")), QStringLiteral("1"));
        writeFile(installed(QStringLiteral("same.txt")), "unchanged content");
        writeFile(installed(QStringLiteral("longer.txt")), "0123456789 and more");

        const TPackageDifference difference = compute(offered);

        QVERIFY(findEntry(difference, QStringLiteral("same.txt")) == nullptr);
        QVERIFY(QFile::exists(installed(QStringLiteral("same.txt"))));
        const TFileToDownload* longer = findEntry(difference, QStringLiteral("longer.txt"));
        QVERIFY(longer != nullptr);
        QVERIFY(!QFile::exists(installed(QStringLiteral("longer.txt"))));
        const TFileInPackage& offeredLonger = *offered.files().find(QStringLiteral("longer.txt"));
        QCOMPARE(longer->chunks.size(), std::size_t(1));
        QVERIFY(longer->chunks.front() == offeredLonger.download);
        QCOMPARE(longer->chunksToDownload, std::vector<qint32>{0});
        QCOMPARE(longer->unpackedSize, quint64(10));
        QVERIFY(findEntry(difference, QStringLiteral("missing.txt")) != nullptr);
        QCOMPARE(difference.filesToDownload.size(), std::size_t(2));
        QVERIFY(difference.filesToDelete.empty());
        QVERIFY(!difference.hasInvalidPackageData());

        const qint64 bytesOnDisk = QByteArray("unchanged content").size() + QByteArray("0123456789 and more").size();
        QCOMPARE(m_lastProgress.value(0).value<TFileSize>(), TFileSize(bytesOnDisk));
        QCOMPARE(m_lastProgress.value(1).value<TFileSize>(), TFileSize(bytesOnDisk));
    }

    void cancelledScanChangesNoFile()
    {
        QStringList names;
        for (int index = 0; index < 12; ++index) {
            names << QStringLiteral("file%1.txt").arg(index);
            writeFile(path(QStringLiteral("v1/") + names.last()), "offered " + QByteArray::number(index));
            writeFile(installed(names.last()), "installed " + QByteArray::number(index));
        }
        const TPackageConfigurationReader offered =
            buildPackage(path(QStringLiteral("v1")), path(QStringLiteral("out1")), QStringLiteral("1"));
        TPackageInstallation installation(m_package, m_helper);
        installation.setInstallationDirectory(QDir(path(QStringLiteral("install"))));
        connect(
            &installation, &TPackageInstallation::scanProgress, &installation,
            [&installation] { installation.cancelBackgroundWork(); }, Qt::DirectConnection);

        installation.startComputingRequiredChanges(offered, TPackageConfigurationReader(), false).waitForFinished();

        // Every outdated file would be deleted for a download; after the cancel none is touched.
        for (const QString& name : names)
            QVERIFY2(QFile::exists(installed(name)), qPrintable(name));
    }

    void droppedFirstChunkIsRebuiltInPlace()
    {
        const QByteArray oldContent = blocks({1, 2, 3, 4});
        const QByteArray newContent = blocks({2, 3, 4});
        writeFile(path(QStringLiteral("v2/data/big.bin")), newContent);
        const TPackageConfigurationReader offered =
            buildPackage(path(QStringLiteral("v2")), path(QStringLiteral("out2")), QStringLiteral("2"));
        QCOMPARE(offered.files().front().chunkIndices.size(), std::size_t(3));
        writeFile(installed(QStringLiteral("data/big.bin")), oldContent);

        const TPackageDifference difference = compute(offered);

        QVERIFY(difference.filesToDownload.empty());
        QVERIFY(readFile(installed(QStringLiteral("data/big.bin"))) == newContent);
        QCOMPARE(m_lastProgress.value(0).value<TFileSize>(), TFileSize(oldContent.size()));
    }

    void overlappingMoveSavesTheLaterSourceFirst()
    {
        // Y moves to offset 0, which is where X's bytes lie until X has moved behind it.
        writeFile(path(QStringLiteral("v2/swap.bin")), blocks({20, 10, 30}));
        const TPackageConfigurationReader offered =
            buildPackage(path(QStringLiteral("v2")), path(QStringLiteral("out2")), QStringLiteral("2"));
        writeFile(installed(QStringLiteral("swap.bin")), blocks({10, 20, 30}));

        const TPackageDifference difference = compute(offered);

        QVERIFY(difference.filesToDownload.empty());
        QVERIFY(readFile(installed(QStringLiteral("swap.bin"))) == blocks({20, 10, 30}));
    }

    void changedChunkIsTheOnlyDownload()
    {
        writeFile(path(QStringLiteral("v2/big.bin")), blocks({1, 2, 3}) + "tail");
        const TPackageConfigurationReader offered =
            buildPackage(path(QStringLiteral("v2")), path(QStringLiteral("out2")), QStringLiteral("2"));
        writeFile(installed(QStringLiteral("big.bin")), blocks({1, 9, 3}) + "tail and more bytes");

        const TPackageDifference difference = compute(offered);

        const TFileToDownload* big = findEntry(difference, QStringLiteral("big.bin"));
        QVERIFY(big != nullptr);
        QCOMPARE(big->chunks.size(), std::size_t(4));
        QCOMPARE(big->chunksToDownload, (std::vector<qint32>{1, 3}));
        const QByteArray local = readFile(installed(QStringLiteral("big.bin")));
        QCOMPARE(local.size(), blocks({1, 2, 3}).size() + 4);
        QVERIFY(local.left(BlockSize) == chunkBlock(1));
        QVERIFY(local.mid(2 * BlockSize, BlockSize) == chunkBlock(3));
    }

    void rebuilderMovesOverlappingRanges_data()
    {
        QTest::addColumn<quint64>("source");
        QTest::addColumn<quint64>("target");
        QTest::newRow("towards the end") << quint64(1000) << quint64(1000 + 3 * 1024 * 1024);
        QTest::newRow("towards the start") << quint64(5 * 1024 * 1024) << quint64(7);
    }

    void rebuilderMovesOverlappingRanges()
    {
        // A move longer than the copy buffer whose source and target overlap must behave like memmove.
        QFETCH(quint64, source);
        QFETCH(quint64, target);
        const int length = 9 * 1024 * 1024;
        const QByteArray original = pseudoRandom(16 * 1024 * 1024, 77);
        const QString file = installed(QStringLiteral("moved.bin"));
        writeFile(file, original);
        std::vector<TChunkReuseState> states{
            {TChunkReuseState::Elsewhere, source, target, quint64(length), false},
        };
        std::vector<qint32> toDownload;
        const quint64 size = target + quint64(length);

        QVERIFY(TInPlaceRebuilder(file, size).rebuild(states, toDownload));

        const QByteArray rebuilt = readFile(file);
        QCOMPARE(rebuilt.size(), int(size));
        QVERIFY(rebuilt.mid(int(target), length) == original.mid(int(source), length));
        QVERIFY(toDownload.empty());
    }

    void scratchCopiesHaveNoName_data()
    {
        QTest::addColumn<TScratchCopy>("copy");
        QTest::newRow("base chunks of deltas")
            << TScratchCopy([](const QString& folder, const QString& source, int offset, int length) {
                   const QByteArray expected = readFile(source).mid(offset, length);
                   TDeltaBaseStore store(folder);
                   const QByteArray hash = shared::TSha256::hash(expected);
                   return store.keep(hash, source, quint64(offset), quint64(length)) && entriesOf(folder).size() == 1 &&
                          store.read({hash}) == expected;
               });
        QTest::newRow("early chunks the downloader holds") << TScratchCopy(
            [](const QString& folder, const QString& source, int offset, int length) {
                const QByteArray expected = readFile(source).mid(offset, length);
                TPendingChunkStore store;
                store.setTemporaryDirectory(folder);
                store.addUse("h");
                store.storeHeldCopy("h", expected, -1);
                // Read back first: a temporary file may take its name only when asked for it.
                QByteArray held;
                return store.temporaryFileCount() == 1 &&
                       store.takeForWrite("h", quint64(length), held) == TPendingChunkStore::ESource::TemporaryFile &&
                       held == expected && entriesOf(folder).size() == 1;
            });
        QTest::newRow("fallback where the file system has no anonymous files")
            << TScratchCopy([](const QString& folder, const QString& source, int offset, int length) {
                   const QByteArray expected = readFile(source).mid(offset, length);
                   TScratchFile file(folder, TScratchFile::ECreation::NamedThenUnlinked);
                   return file.isOpen() && file.file().write(expected) == length && entriesOf(folder).size() == 1 &&
                          file.readAt(0, quint64(length)) == expected;
               });
        // A swap of two neighbours saves the second's source before the first overwrites it.
        QTest::newRow("sources saved by the rebuild in place")
            << TScratchCopy([](const QString&, const QString& source, int offset, int length) {
                   const QByteArray original = readFile(source);
                   std::vector<TChunkReuseState> states{
                       {TChunkReuseState::Elsewhere, quint64(offset + length), quint64(offset), quint64(length), false},
                       {TChunkReuseState::Elsewhere, quint64(offset), quint64(offset + length), quint64(length), false},
                   };
                   std::vector<qint32> toDownload;
                   const bool rebuilt = TInPlaceRebuilder(source, quint64(original.size())).rebuild(states, toDownload);
                   return rebuilt && readFile(source).mid(offset + length, length) == original.mid(offset, length);
               });
    }

    // Copies that only a destructor removed stayed behind whenever the launcher was killed. These
    // live on the package's disk, not in the system's temporary folder (unusable here), and have
    // no name there at any time.
    void scratchCopiesHaveNoName()
    {
        QFETCH(TScratchCopy, copy);
        const testsupport::TUnusableTemporaryFolder unusableTemporaryFolder;
        QVERIFY(unusableTemporaryFolder.isValid());
        const QString source = installed(QStringLiteral("data.bin"));
        writeFile(source, pseudoRandom(64 * 1024, 31));
        writeFile(installed(TScratchFile::fallbackPrefix + QStringLiteral("a1b2c3")), "left by a kill");

        TScratchFile::removeLeftovers(path(QStringLiteral("install")));
        QVERIFY(copy(path(QStringLiteral("install")), source, 1000, 5000));
        QCOMPARE(entriesOf(path(QStringLiteral("install"))), QStringList{QStringLiteral("data.bin")});
    }

    void missingChunkedFileNeedsEveryChunk()
    {
        writeFile(path(QStringLiteral("v1/big.bin")), blocks({5, 6, 7}));
        const TPackageConfigurationReader offered =
            buildPackage(path(QStringLiteral("v1")), path(QStringLiteral("out1")), QStringLiteral("1"));

        const TPackageDifference difference = compute(offered);

        QCOMPARE(difference.filesToDownload.size(), std::size_t(1));
        const TFileToDownload& big = difference.filesToDownload.front();
        const TFileInPackage& file = offered.files().front();
        QCOMPARE(big.chunks.size(), file.chunkIndices.size());
        for (std::size_t position = 0; position < big.chunks.size(); ++position)
            QVERIFY(big.chunks[position] == offered.chunks()[static_cast<std::size_t>(file.chunkIndices[position])]);
        QCOMPARE(big.chunksToDownload, allPositions(3));
        QCOMPARE(big.chunkOffsets(), (std::vector<quint64>{0, quint64(BlockSize), 2 * quint64(BlockSize)}));
    }

    void fastScanTakesTheInstalledChunkList()
    {
        writeFile(path(QStringLiteral("v1/big.bin")), blocks({1, 2, 3}));
        writeFile(path(QStringLiteral("v2/big.bin")), blocks({1, 2, 4}));
        const TPackageConfigurationReader installedConfiguration =
            buildPackage(path(QStringLiteral("v1")), path(QStringLiteral("out1")), QStringLiteral("1"));
        const TPackageConfigurationReader offered =
            buildPackage(path(QStringLiteral("v2")), path(QStringLiteral("out2")), QStringLiteral("2"));
        // A local change of the same size goes unseen by the fast scan: it trusts the installed
        // configuration and does not read the file.
        QByteArray local = blocks({1, 2, 3});
        local[BlockSize + 100] = char(local[BlockSize + 100] ^ 0x5A);
        writeFile(installed(QStringLiteral("big.bin")), local);

        const TPackageDifference fast = compute(offered, installedConfiguration, true);
        QCOMPARE(fast.filesToDownload.size(), std::size_t(1));
        QCOMPARE(fast.filesToDownload.front().chunksToDownload, std::vector<qint32>{2});

        writeFile(installed(QStringLiteral("big.bin")), local);
        const TPackageDifference full = compute(offered, installedConfiguration, false);
        QCOMPARE(full.filesToDownload.size(), std::size_t(1));
        QCOMPARE(full.filesToDownload.front().chunksToDownload, (std::vector<qint32>{1, 2}));
    }

    void fastScanReadsFilesItCannotTrust()
    {
        writeFile(path(QStringLiteral("v1/one.bin")), blocks({1, 2, 3}));
        writeFile(path(QStringLiteral("v1/gone.bin")), blocks({5, 6}));
        writeFile(path(QStringLiteral("v2/one.bin")), blocks({1, 2, 4}));
        writeFile(path(QStringLiteral("v2/gone.bin")), blocks({5, 7}));
        // Installed as one object each: the installed entries list no chunks.
        packbuilder::TBuildOptions wholeFiles =
            testBuildOptions(path(QStringLiteral("v1")), path(QStringLiteral("out1")), QStringLiteral("1"));
        wholeFiles.chunkThreshold = 1ull << 40;
        const TPackageConfigurationReader installedConfiguration = buildPackage(wholeFiles);
        QVERIFY(installedConfiguration.files().front().chunkIndices.empty());
        const TPackageConfigurationReader offered =
            buildPackage(path(QStringLiteral("v2")), path(QStringLiteral("out2")), QStringLiteral("2"));
        writeFile(installed(QStringLiteral("one.bin")), blocks({1, 2, 3}));

        const TPackageDifference difference = compute(offered, installedConfiguration, true);

        const TFileToDownload* one = findEntry(difference, QStringLiteral("one.bin"));
        QVERIFY(one != nullptr);
        QCOMPARE(one->chunksToDownload, std::vector<qint32>{2});
        const TFileToDownload* gone = findEntry(difference, QStringLiteral("gone.bin"));
        QVERIFY(gone != nullptr);
        QCOMPARE(gone->chunksToDownload, allPositions(2));

        // With chunk lists installed, a missing file is still fetched, not taken for present.
        const TPackageConfigurationReader chunkedInstall =
            buildPackage(path(QStringLiteral("v1")), path(QStringLiteral("out3")), QStringLiteral("1"));
        QFile::remove(installed(QStringLiteral("one.bin")));
        const TPackageDifference missing = compute(offered, chunkedInstall, true);
        QVERIFY(findEntry(missing, QStringLiteral("one.bin")) != nullptr);
        QCOMPARE(findEntry(missing, QStringLiteral("one.bin"))->chunksToDownload, allPositions(3));
    }

    void fastScanTrustsUnchangedWholeFiles()
    {
        for (const char* version : {"v1", "v2"}) {
            writeFile(path(QLatin1String(version) + QStringLiteral("/same.txt")), "unchanged content");
            writeFile(path(QLatin1String(version) + QStringLiteral("/resized.txt")), "unchanged too");
        }
        writeFile(path(QStringLiteral("v2/changed.txt")), "new content");
        writeFile(path(QStringLiteral("v1/changed.txt")), "old content");
        const TPackageConfigurationReader installedConfiguration =
            buildPackage(path(QStringLiteral("v1")), path(QStringLiteral("out1")), QStringLiteral("1"));
        const TPackageConfigurationReader offered =
            buildPackage(path(QStringLiteral("v2")), path(QStringLiteral("out2")), QStringLiteral("2"));
        const auto installLocalCopies = [this] {
            // A change of the same size goes unseen by the fast scan; one of another size does not.
            writeFile(installed(QStringLiteral("same.txt")), "UNCHANGED CONTENT");
            writeFile(installed(QStringLiteral("resized.txt")), "unchanged too, longer");
            writeFile(installed(QStringLiteral("changed.txt")), "old content");
        };

        installLocalCopies();
        const TPackageDifference fast = compute(offered, installedConfiguration, true);
        QVERIFY(findEntry(fast, QStringLiteral("same.txt")) == nullptr);
        QVERIFY(findEntry(fast, QStringLiteral("resized.txt")) != nullptr);
        QVERIFY(findEntry(fast, QStringLiteral("changed.txt")) != nullptr);
        QCOMPARE(fast.filesToDownload.size(), std::size_t(2));

        installLocalCopies();
        const TPackageDifference full = compute(offered, installedConfiguration, false);
        QVERIFY(findEntry(full, QStringLiteral("same.txt")) != nullptr);
        QCOMPARE(full.filesToDownload.size(), std::size_t(3));
    }

    void filesNoLongerListedAreDeleted()
    {
        writeFile(path(QStringLiteral("v1/keep.txt")), "keep");
        writeFile(path(QStringLiteral("v1/old.txt")), "old");
        writeFile(path(QStringLiteral("v2/keep.txt")), "keep");
        const TPackageConfigurationReader installedConfiguration =
            buildPackage(path(QStringLiteral("v1")), path(QStringLiteral("out1")), QStringLiteral("1"));
        const TPackageConfigurationReader offered =
            buildPackage(path(QStringLiteral("v2")), path(QStringLiteral("out2")), QStringLiteral("2"));
        writeFile(installed(QStringLiteral("keep.txt")), "keep");
        writeFile(installed(QStringLiteral("old.txt")), "old");
        // An installed name that climbs out of the directory resolves onto keep.txt, which stays.
        const TPackageConfigurationReader hostileInstalled =
            fromDocument(appendFile(installedConfiguration.packageDocument(),
                                    QJsonObject{{QStringLiteral("localfile"), QStringLiteral("../keep.txt")},
                                                {QStringLiteral("unpackedsize"), 4}}));

        const TPackageDifference difference = compute(offered, hostileInstalled);

        QCOMPARE(difference.filesToDelete.size(), std::size_t(1));
        QCOMPARE(difference.filesToDelete.front().localFile, QStringLiteral("old.txt"));
        QVERIFY(difference.filesToDownload.empty());
        QVERIFY(QFile::exists(installed(QStringLiteral("old.txt"))));
    }

    void invalidPackageData()
    {
        writeFile(path(QStringLiteral("v1/outside.bin")), blocks({1, 2}));
        writeFile(path(QStringLiteral("v1/outsidewithobject.bin")), blocks({3, 4}));
        writeFile(path(QStringLiteral("v1/sizes.bin")), blocks({5, 6}));
        writeFile(path(QStringLiteral("v1/lying.bin")), blocks({7, 8}));
        writeFile(path(QStringLiteral("v1/nosource.txt")), "no source");
        const TPackageConfigurationReader built =
            buildPackage(path(QStringLiteral("v1")), path(QStringLiteral("out1")), QStringLiteral("1"));
        const QJsonObject wholeObject{{QStringLiteral("url"), QStringLiteral("objects/whole")},
                                      {QStringLiteral("packedsize"), 10},
                                      {QStringLiteral("unpackedsize"), 2 * BlockSize}};
        QByteArray document = built.packageDocument();
        document = editFile(document, QStringLiteral("outside.bin"), [](QJsonObject& file) {
            file.insert(QStringLiteral("chunks"), QJsonArray{0, 99});
        });
        document = editFile(document, QStringLiteral("outsidewithobject.bin"), [&](QJsonObject& file) {
            file.insert(QStringLiteral("chunks"), QJsonArray{-1});
            for (auto key = wholeObject.begin(); key != wholeObject.end(); ++key)
                file.insert(key.key(), key.value());
        });
        document = editFile(document, QStringLiteral("sizes.bin"), [&](QJsonObject& file) {
            file.insert(QStringLiteral("unpackedsize"), 2 * BlockSize + 1);
            file.insert(QStringLiteral("url"), QStringLiteral("objects/sizes"));
        });
        document = editFile(document, QStringLiteral("nosource.txt"),
                            [](QJsonObject& file) { file.remove(QStringLiteral("url")); });
        for (const QString& name : {QString(), QStringLiteral(".."), QStringLiteral("sub/../..")})
            document = appendFile(document, QJsonObject{{QStringLiteral("localfile"), name},
                                                        {QStringLiteral("url"), QStringLiteral("objects/dir")}});
        document = appendFile(document, QJsonObject{{QStringLiteral("localfile"), QStringLiteral("./nosource.txt")},
                                                    {QStringLiteral("unpackedsize"), 99},
                                                    {QStringLiteral("url"), QStringLiteral("objects/other")}});
        const TPackageConfigurationReader offered = fromDocument(document);
        QVERIFY(offered.isValid());
        // The second chunk of lying.bin claims another size than its content has.
        QJsonObject root = QJsonDocument::fromJson(document).object();
        QJsonArray chunks = root.value(QStringLiteral("chunks")).toArray();
        const int lyingChunk = offered.files().find(QStringLiteral("lying.bin"))->chunkIndices.at(1);
        QJsonObject lying = chunks.at(lyingChunk).toObject();
        lying.insert(QStringLiteral("unpackedsize"), BlockSize + 7);
        chunks.replace(lyingChunk, lying);
        root.insert(QStringLiteral("chunks"), chunks);
        const TPackageConfigurationReader lyingOffered =
            fromDocument(editFile(QJsonDocument(root).toJson(), QStringLiteral("lying.bin"), [](QJsonObject& file) {
                file.insert(QStringLiteral("unpackedsize"), 2 * BlockSize + 7);
            }));
        for (const char* name : {"sizes.bin", "lying.bin"})
            writeFile(installed(QLatin1String(name)), readFile(path(QStringLiteral("v1/") + QLatin1String(name))));
        writeFile(installed(QStringLiteral("outside.bin")), blocks({1, 9}));
        writeFile(installed(QStringLiteral("outsidewithobject.bin")), blocks({3, 9}));
        writeFile(installed(QStringLiteral("nosource.txt")), "changed locally");

        const TPackageDifference difference = compute(offered);

        QVERIFY(QDir(path(QStringLiteral("install"))).exists());
        QVERIFY(listsFile(difference.filesWithInvalidPackageData, QStringLiteral("outside.bin")));
        QVERIFY(findEntry(difference, QStringLiteral("outside.bin")) == nullptr);
        const TFileToDownload* withObject = findEntry(difference, QStringLiteral("outsidewithobject.bin"));
        QVERIFY(withObject != nullptr);
        QCOMPARE(withObject->chunks.size(), std::size_t(1));
        QVERIFY(withObject->chunks.front() == offered.files().find(QStringLiteral("outsidewithobject.bin"))->download);
        QCOMPARE(withObject->chunksToDownload, std::vector<qint32>{0});
        const TFileToDownload* sizes = findEntry(difference, QStringLiteral("sizes.bin"));
        QVERIFY(sizes != nullptr);
        QCOMPARE(sizes->chunks.front().url.path(), QStringLiteral("/srv/objects/sizes"));
        QVERIFY(listsFile(difference.filesWithInvalidPackageData, QStringLiteral("nosource.txt")));
        QVERIFY(listsFile(difference.filesWithInvalidPackageData, QStringLiteral("./nosource.txt")));
        for (const QString& name : {QString(), QStringLiteral(".."), QStringLiteral("sub/../..")})
            QVERIFY2(listsFile(difference.filesWithInvalidPackageData, name), qPrintable(name));
        QVERIFY(!listsFile(difference.filesWithInvalidPackageData, QStringLiteral("lying.bin")));

        const TPackageDifference lyingDifference = compute(lyingOffered);
        const TFileToDownload* lyingEntry = findEntry(lyingDifference, QStringLiteral("lying.bin"));
        QVERIFY(lyingEntry != nullptr);
        QCOMPARE(lyingEntry->chunksToDownload, std::vector<qint32>{1});
    }
};

QTEST_GUILESS_MAIN(TestDifference)
#include "tst_difference.moc"
