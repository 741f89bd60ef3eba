// Chunk deltas: every delta the publisher writes rebuilds its chunk from the base chunks it
// names; hostile deltas fail cleanly; the base covers the new chunk's place in the old file.

#include "compression/TContainerDecoder.h"
#include "configuration/TPackageConfigurationReader.h"
#include "delta/TChunkDeltaDecoder.h"
#include "delta/TChunkDeltaError.h"
#include "hash/TSha256.h"
#include "packbuilder/TChunkDeltaEncoder.h"
#include "packbuilder/TDeltaBaseSelector.h"
#include "packbuilder/TPackageBuilder.h"
#include "support/PackageTestData.h"
#include "support/TestFiles.h"
#include "support/TestRandom.h"

#include <QHash>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <vector>

using orvan::launcher::TChunkInPackage;
using orvan::launcher::TPackageConfigurationReader;
using testsupport::pseudoRandom;
using testsupport::readFile;
using testsupport::writeFile;

namespace {

constexpr int MiB = 1024 * 1024;

/// The decoded content of every chunk of a published package, by its hash.
QHash<QByteArray, QByteArray> chunkContents(const TPackageConfigurationReader& reader)
{
    QHash<QByteArray, QByteArray> contents;
    for (const TChunkInPackage& chunk : reader.chunks())
        contents.insert(chunk.unpackedHash, shared::decompressContainer(readFile(chunk.url.toLocalFile())));
    return contents;
}

} // namespace

Q_DECLARE_METATYPE(std::vector<quint64>)
Q_DECLARE_METATYPE(std::vector<std::size_t>)

class TestDelta : public QObject
{
    Q_OBJECT

private slots:
    void everyPublishedDeltaRebuildsItsChunk()
    {
        QTemporaryDir root;
        const QString source = root.filePath(QStringLiteral("source"));
        const QString out = root.filePath(QStringLiteral("out"));
        QByteArray data = pseudoRandom(24 * MiB, 5);
        writeFile(source + QStringLiteral("/big.bin"), data);
        packbuilder::TBuildOptions options = packagetest::testBuildOptions(source, out, QStringLiteral("1"));
        const TPackageConfigurationReader first = packagetest::buildPackage(options);
        QHash<QByteArray, QByteArray> contents = chunkContents(first);

        // An edit in place and an insertion further on.
        data.replace(5 * MiB, 4096, pseudoRandom(4096, 6));
        data.insert(15 * MiB, pseudoRandom(MiB, 7));
        writeFile(source + QStringLiteral("/big.bin"), data);
        options.version = QStringLiteral("2");
        const TPackageConfigurationReader second = packagetest::buildPackage(options);
        const QHash<QByteArray, QByteArray> secondContents = chunkContents(second);

        int rebuilt = 0;
        for (const TChunkInPackage& chunk : second.chunks()) {
            for (const auto& delta : chunk.deltas) {
                QByteArray base;
                for (const QByteArray& hash : delta.from) {
                    QVERIFY(contents.contains(hash));
                    base += contents.value(hash);
                }
                const QByteArray object = readFile(delta.url.toLocalFile());
                QCOMPARE(quint64(object.size()), delta.size);
                QCOMPARE(shared::TSha256::hash(object), delta.sha256);
                QVERIFY(quint64(object.size()) * 2 < chunk.packedSize);
                QVERIFY(shared::TChunkDeltaDecoder::decode(object, base, chunk.unpackedSize) ==
                        secondContents.value(chunk.unpackedHash));
                ++rebuilt;
            }
        }
        QVERIFY(rebuilt >= 2);

        // A third version keeps the deltas of chunks it still has against both earlier versions;
        // without history it lists none.
        options.version = QStringLiteral("3");
        writeFile(source + QStringLiteral("/other.bin"), "new file");
        const TPackageConfigurationReader third = packagetest::buildPackage(options);
        int listed = 0;
        for (const TChunkInPackage& chunk : third.chunks())
            listed += static_cast<int>(chunk.deltas.size());
        QVERIFY(listed >= rebuilt);
        options.version = QStringLiteral("4");
        options.deltaHistory = 0;
        options.pruneObjects = true;
        const TPackageConfigurationReader fourth = packagetest::buildPackage(options);
        for (const TChunkInPackage& chunk : fourth.chunks())
            QVERIFY(chunk.deltas.empty());
        QVERIFY(!QDir(out + QStringLiteral("/deltas")).entryList(QDir::Files).size());
    }

    void hostileDeltasFail_data()
    {
        QTest::addColumn<int>("variant");
        QTest::newRow("truncated") << 0;
        QTest::newRow("corrupted") << 1;
        QTest::newRow("other base") << 2;
        QTest::newRow("other chunk size") << 3;
        QTest::newRow("trailing data") << 4;
        QTest::newRow("not a frame") << 5;
        QTest::newRow("base beyond the limit") << 6;
        QTest::newRow("copy from beyond the base") << 7;
        QTest::newRow("copies longer than the chunk") << 8;
    }

    void hostileDeltasFail()
    {
        QFETCH(int, variant);
        const QByteArray base = pseudoRandom(2 * MiB, 9);
        QByteArray chunk = base.mid(MiB / 2, MiB);
        chunk.replace(1000, 64, pseudoRandom(64, 10));
        QByteArray delta = packbuilder::TChunkDeltaEncoder::encode(base, chunk, 3);
        QVERIFY(shared::TChunkDeltaDecoder::decode(delta, base, MiB) == chunk);
        // The unchanged bytes around the edit are copies: the delta is about the edit's size.
        QVERIFY2(delta.size() < 128, QByteArray::number(delta.size()).constData());

        QByteArray usedBase = base;
        quint64 size = MiB;
        switch (variant) {
        case 0:
            delta.chop(delta.size() / 2);
            break;
        case 1:
            for (int index = 12; index < delta.size(); index += 7)
                delta[index] = static_cast<char>(delta[index] ^ 0x5a);
            break;
        case 2:
            usedBase = pseudoRandom(2 * MiB, 11);
            break;
        case 3:
            size = 2 * MiB;
            break;
        case 4:
            delta += delta;
            break;
        case 5:
            delta = QByteArray(64, 'x');
            break;
        case 6:
            usedBase = QByteArray(49 * MiB, 'b');
            break;
        case 7:
            // The head copy's base offset.
            delta.replace(4, 4, QByteArray("\xff\xff\xff\x01", 4));
            break;
        default:
            // The tail copy's length.
            delta.replace(16, 4, QByteArray("\x00\x00\x10\x00", 4));
            break;
        }
        bool failed = false;
        try {
            failed = shared::TChunkDeltaDecoder::decode(delta, usedBase, size) != chunk;
        } catch (const shared::TChunkDeltaError&) {
            failed = true;
        }
        QVERIFY(failed);
    }

    void baseCoversTheNewChunksPlace_data()
    {
        QTest::addColumn<std::vector<quint64>>("oldSizes");
        QTest::addColumn<quint64>("start");
        QTest::addColumn<quint64>("end");
        QTest::addColumn<quint64>("maxBytes");
        QTest::addColumn<std::vector<std::size_t>>("expected");
        const std::vector<quint64> four{10, 10, 10, 10};
        QTest::newRow("widened by one") << four << quint64(12) << quint64(18) << quint64(100)
                                        << std::vector<std::size_t>{0, 1, 2};
        QTest::newRow("at the front") << four << quint64(0) << quint64(5) << quint64(100)
                                      << std::vector<std::size_t>{0, 1};
        QTest::newRow("past the old end")
            << four << quint64(50) << quint64(60) << quint64(100) << std::vector<std::size_t>{2, 3};
        QTest::newRow("bounded keeps the overlap")
            << four << quint64(12) << quint64(25) << quint64(20) << std::vector<std::size_t>{1, 2};
        QTest::newRow("no old chunks") << std::vector<quint64>() << quint64(0) << quint64(5) << quint64(100)
                                       << std::vector<std::size_t>();
    }

    void baseCoversTheNewChunksPlace()
    {
        QFETCH(std::vector<quint64>, oldSizes);
        QFETCH(quint64, start);
        QFETCH(quint64, end);
        QFETCH(quint64, maxBytes);
        QFETCH(std::vector<std::size_t>, expected);
        QCOMPARE(packbuilder::TDeltaBaseSelector::select(oldSizes, start, end, maxBytes), expected);
    }
};

QTEST_GUILESS_MAIN(TestDelta)
#include "tst_delta.moc"
