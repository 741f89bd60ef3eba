#include "ChunkingTestData.h"
#include "support/TestFiles.h"
#include "support/TestRandom.h"

#include "chunking/TChunkingError.h"
#include "chunking/TContentDefinedChunker.h"
#include "chunking/TFileChunkScanner.h"
#include "chunking/chunkingGearTable.h"
#include "hash/TSha256.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <sys/stat.h>

using namespace chunkingtest;
using shared::TChunkPiece;
using shared::TContentDefinedChunker;
using shared::TFileChunkScanner;
using testsupport::writeFile;
using testsupport::xorshiftBytes;

#define COMPARE_PIECES(actual, expected)                                                                               \
    do {                                                                                                               \
        const QString difference = describeDifference((actual), (expected));                                           \
        QVERIFY2(difference.isEmpty(), qPrintable(difference));                                                        \
    } while (false)

namespace {

std::vector<TChunkPiece> scanWith(TFileChunkScanner& scanner, const QString& path,
                                  TFileChunkScanner::EResult* result = nullptr)
{
    std::vector<TChunkPiece> pieces;
    const TFileChunkScanner::EResult outcome =
        scanner.scanFile(path, [&pieces](const TChunkPiece& piece, const unsigned char*) {
            pieces.push_back(piece);
            return true;
        });
    if (result != nullptr)
        *result = outcome;
    return pieces;
}

/// Three bytes that, hashed from zero, leave the low 22 bits of the hash zero after the third
/// byte and not before: placed at the minimum size of a piece, they cut it right there.
QByteArray threeByteCut()
{
    const auto& gear = shared::chunkingGearTable;
    const std::uint32_t mask = TContentDefinedChunker::CutMask;
    for (int a = 0; a < 256; ++a) {
        for (int b = 0; b < 256; ++b) {
            const std::uint32_t first = gear[a];
            const std::uint32_t second = (first >> 1) + gear[b];
            for (int c = 0; c < 256 && (first & mask) != 0 && (second & mask) != 0; ++c) {
                if ((((second >> 1) + gear[c]) & mask) == 0)
                    return QByteArray(1, char(a)) + char(b) + char(c);
            }
        }
    }
    return QByteArray();
}

/// Pieces as (size, hash) only, offsets dropped, for comparing data that moved.
QList<QPair<quint64, QByteArray>> contents(const std::vector<TChunkPiece>& pieces, std::size_t from, std::size_t to)
{
    QList<QPair<quint64, QByteArray>> result;
    for (std::size_t i = from; i < to && i < pieces.size(); ++i)
        result.append({pieces[i].size, pieces[i].sha256});
    return result;
}

} // namespace

class TestChunking : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();

    void gearTableMatchesReference();
    void goldenVectors_data();
    void goldenVectors();
    void chunkerFedInSlicesCutsAlike();
    void scannerIsReusableAcrossFiles();

    void shortFilesAreOnePiece_data();
    void shortFilesAreOnePiece();
    void hashStartsAtMinimumOfEveryPiece_data();
    void hashStartsAtMinimumOfEveryPiece();
    void dataWithoutCutPointGivesMaximumPieces_data();
    void dataWithoutCutPointGivesMaximumPieces();
    void firstBytesOfPieceNeverMoveItsEnd();
    void editsResynchronise_data();
    void editsResynchronise();
    void fileLargerThanSeveralPortions();

    void handlerSeesPieceBytesAndProgress();
    void handlerCanStopScan();
    void unreadableFilesFail();

private:
    QTemporaryDir m_directory;
    QByteArray m_golden;
    QString m_goldenPath;
    TGoldenVectors m_expected;
};

void TestChunking::initTestCase()
{
    QVERIFY(m_directory.isValid());
    m_expected = readGoldenVectors();
    QVERIFY2(!m_expected.pieces.empty(), "golden vectors missing");
    m_golden = goldenStream();
    QCOMPARE(qint64(m_golden.size()), m_expected.streamSize);
    QCOMPARE(shared::TSha256::hash(m_golden), m_expected.streamSha256);
    m_goldenPath = m_directory.filePath(QStringLiteral("golden.bin"));
    writeFile(m_goldenPath, m_golden);
}

void TestChunking::gearTableMatchesReference()
{
    QByteArray bytes;
    for (const std::uint32_t value : shared::chunkingGearTable) {
        for (int k = 0; k < 4; ++k)
            bytes.append(static_cast<char>(value >> (8 * k)));
    }
    QCOMPARE(shared::TSha256::hash(bytes), m_expected.gearTableSha256);
}

void TestChunking::goldenVectors_data()
{
    QTest::addColumn<int>("portionSize");
    QTest::newRow("in memory") << 0;
    QTest::newRow("file, default portions") << int(TFileChunkScanner::DefaultPortionSize);
    QTest::newRow("file, 1 MiB portions") << MiB;
    QTest::newRow("file, 5 MiB + 3 portions") << 5 * MiB + 3;
    QTest::newRow("file, 16 MiB portions") << 16 * MiB;
    QTest::newRow("file, 16 MiB + 1 portions") << 16 * MiB + 1;
    QTest::newRow("file, 37 MiB - 1 portions") << 37 * MiB - 1;
}

void TestChunking::goldenVectors()
{
    QFETCH(int, portionSize);
    if (portionSize == 0) {
        COMPARE_PIECES(shared::chunkBuffer(m_golden), m_expected.pieces);
        return;
    }
    TFileChunkScanner scanner(static_cast<std::size_t>(portionSize));
    TFileChunkScanner::EResult result = TFileChunkScanner::EResult::Stopped;
    COMPARE_PIECES(scanWith(scanner, m_goldenPath, &result), m_expected.pieces);
    QCOMPARE(result, TFileChunkScanner::EResult::Completed);
    QVERIFY(scanner.errorString().isEmpty());
}

void TestChunking::chunkerFedInSlicesCutsAlike()
{
    // Slices from single bytes to a few MiB, so cuts fall inside, at the start and at the end of a slice.
    const auto* data = reinterpret_cast<const unsigned char*>(m_golden.constData());
    const std::size_t size = static_cast<std::size_t>(m_golden.size());
    QByteArray sliceSizes = xorshiftBytes(42, 4096);
    TContentDefinedChunker chunker;
    std::vector<quint64> cutOffsets;
    std::size_t position = 0;
    for (int round = 0; position < size; ++round) {
        const auto draw = static_cast<unsigned char>(sliceSizes[round % sliceSizes.size()]);
        std::size_t slice = round % 3 == 0 ? 1 + draw % 7 : (std::size_t(draw) + 1) * 12289;
        slice = std::min(slice, size - position);
        std::size_t offset = 0;
        while (offset < slice) {
            const std::size_t cut = chunker.feed(data + position + offset, slice - offset);
            if (cut == TContentDefinedChunker::NoCut)
                break;
            QVERIFY(cut >= 1 && cut <= slice - offset);
            offset += cut;
            cutOffsets.push_back(position + offset);
        }
        position += slice;
    }
    const quint64 last = chunker.finish();
    if (last > 0)
        cutOffsets.push_back(position);
    QCOMPARE(chunker.pendingSize(), quint64(0));

    std::vector<quint64> expected;
    for (const TChunkPiece& piece : m_expected.pieces)
        expected.push_back(piece.offset + piece.size);
    QCOMPARE(cutOffsets, expected);
}

void TestChunking::scannerIsReusableAcrossFiles()
{
    const QByteArray small = xorshiftBytes(7, 3 * MiB);
    const QString smallPath = m_directory.filePath(QStringLiteral("reuse-small.bin"));
    writeFile(smallPath, small);

    TFileChunkScanner scanner(3 * MiB);
    COMPARE_PIECES(scanWith(scanner, m_goldenPath), m_expected.pieces);
    COMPARE_PIECES(scanWith(scanner, smallPath), shared::chunkBuffer(small));
    COMPARE_PIECES(scanWith(scanner, m_goldenPath), m_expected.pieces);
}

void TestChunking::shortFilesAreOnePiece_data()
{
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("one byte") << QByteArray(1, 'x');
    QTest::newRow("random, 1 MiB") << xorshiftBytes(1, MiB);
    QTest::newRow("random, exactly 4 MiB") << xorshiftBytes(2, 4 * MiB);
    QTest::newRow("zeros, exactly 4 MiB") << QByteArray(4 * MiB, '\0');
    QTest::newRow("random, 4 MiB + 1") << xorshiftBytes(3, 4 * MiB + 1);
}

void TestChunking::shortFilesAreOnePiece()
{
    QFETCH(QByteArray, data);
    const QString path = m_directory.filePath(QStringLiteral("short.bin"));
    writeFile(path, data);

    const std::vector<TChunkPiece> pieces = shared::chunkFile(path);
    if (data.isEmpty()) {
        QVERIFY(pieces.empty());
        return;
    }
    QCOMPARE(pieces.size(), std::size_t(1));
    QCOMPARE(pieces[0].offset, quint64(0));
    QCOMPARE(pieces[0].size, quint64(data.size()));
    QCOMPARE(pieces[0].sha256, shared::TSha256::hash(data));
}

void TestChunking::hashStartsAtMinimumOfEveryPiece_data()
{
    const QByteArray trigger = threeByteCut();
    QVERIFY(trigger.size() == 3);
    const QByteArray lead(4 * MiB, '\0');
    QTest::addColumn<QByteArray>("data");
    QTest::addColumn<QList<int>>("expectedSizes");
    // Each piece must start hashing from zero exactly at its 4 MiB mark to cut after the trigger.
    QTest::newRow("trigger at the minimum of every piece")
        << lead + trigger + lead + trigger + lead + trigger + xorshiftBytes(5, MiB)
        << QList<int>{4 * MiB + 3, 4 * MiB + 3, 4 * MiB + 3, MiB};
    QTest::newRow("trigger starting one byte early")
        << lead.left(4 * MiB - 1) + trigger + QByteArray(20 * MiB, '\0') << QList<int>{16 * MiB, 8 * MiB + 2};
    QTest::newRow("trigger starting one byte late")
        << lead + '\0' + trigger + QByteArray(20 * MiB, '\0') << QList<int>{16 * MiB, 8 * MiB + 4};
}

void TestChunking::hashStartsAtMinimumOfEveryPiece()
{
    QFETCH(QByteArray, data);
    QFETCH(QList<int>, expectedSizes);
    const QString path = m_directory.filePath(QStringLiteral("trigger.bin"));
    writeFile(path, data);

    std::vector<TChunkPiece> expected;
    quint64 offset = 0;
    for (const int pieceSize : expectedSizes) {
        expected.push_back({offset, quint64(pieceSize), shared::TSha256::hash(data.mid(int(offset), pieceSize))});
        offset += quint64(pieceSize);
    }
    QCOMPARE(offset, quint64(data.size()));
    COMPARE_PIECES(shared::chunkBuffer(data), expected);
    TFileChunkScanner smallPortions(2 * MiB + 1);
    COMPARE_PIECES(scanWith(smallPortions, path), expected);
}

void TestChunking::dataWithoutCutPointGivesMaximumPieces_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<QList<int>>("expectedSizes");
    QTest::newRow("16 MiB") << 16 * MiB << QList<int>{16 * MiB};
    QTest::newRow("16 MiB + 1") << 16 * MiB + 1 << QList<int>{16 * MiB, 1};
    QTest::newRow("20 MiB") << 20 * MiB << QList<int>{16 * MiB, 4 * MiB};
    QTest::newRow("40 MiB + 5") << 40 * MiB + 5 << QList<int>{16 * MiB, 16 * MiB, 8 * MiB + 5};
}

void TestChunking::dataWithoutCutPointGivesMaximumPieces()
{
    // The hash of a run of zero bytes settles on a value whose low 22 bits are never all zero.
    QFETCH(int, size);
    QFETCH(QList<int>, expectedSizes);
    const QByteArray zeros(size, '\0');
    const QString path = m_directory.filePath(QStringLiteral("zeros.bin"));
    writeFile(path, zeros);

    std::vector<TChunkPiece> expected;
    quint64 offset = 0;
    for (const int pieceSize : expectedSizes) {
        expected.push_back({offset, quint64(pieceSize), shared::TSha256::hash(zeros.left(pieceSize))});
        offset += quint64(pieceSize);
    }
    COMPARE_PIECES(shared::chunkFile(path), expected);
    TFileChunkScanner smallPortions(MiB + 17);
    COMPARE_PIECES(scanWith(smallPortions, path), expected);
}

void TestChunking::firstBytesOfPieceNeverMoveItsEnd()
{
    const QByteArray original = xorshiftBytes(11, 48 * MiB);
    const std::vector<TChunkPiece> before = shared::chunkBuffer(original);
    QVERIFY(before.size() >= 3);

    // Overwrite bytes inside the first 4 MiB of the second piece; no cut point may move.
    QByteArray changed = original;
    const int start = int(before[1].offset);
    for (int i = 0; i < 4 * MiB; i += 4099)
        changed[start + i] = static_cast<char>(~changed[start + i]);
    changed[start + 4 * MiB - 1] = static_cast<char>(~changed[start + 4 * MiB - 1]);
    const std::vector<TChunkPiece> after = shared::chunkBuffer(changed);

    QCOMPARE(after.size(), before.size());
    for (std::size_t i = 0; i < before.size(); ++i) {
        QCOMPARE(after[i].offset, before[i].offset);
        QCOMPARE(after[i].size, before[i].size);
        QCOMPARE(after[i].sha256 == before[i].sha256, i != 1);
    }
}

void TestChunking::editsResynchronise_data()
{
    QTest::addColumn<int>("editOffset");
    QTest::addColumn<int>("removed");
    QTest::addColumn<QByteArray>("inserted");
    QTest::newRow("insertion near the start") << 100 << 0 << xorshiftBytes(99, 1000);
    QTest::newRow("deletion in the middle") << 21 * MiB + 3 << 4097 << QByteArray();
    QTest::newRow("replacement by longer data") << 30 * MiB << 10 << QByteArray(70000, 'q');
}

void TestChunking::editsResynchronise()
{
    QFETCH(int, editOffset);
    QFETCH(int, removed);
    QFETCH(QByteArray, inserted);
    const QByteArray original = xorshiftBytes(2024, 64 * MiB);
    QByteArray edited = original;
    edited.replace(editOffset, removed, inserted);
    const std::vector<TChunkPiece> before = shared::chunkBuffer(original);
    const std::vector<TChunkPiece> after = shared::chunkBuffer(edited);

    std::size_t editedPiece = 0;
    while (before[editedPiece].offset + before[editedPiece].size <= quint64(editOffset))
        ++editedPiece;
    QVERIFY2(before.size() > editedPiece + 3, "the edit must leave several pieces behind it");
    QCOMPARE(after.size(), before.size());

    // Everything before the edited piece is untouched, everything after it is found again, moved.
    QCOMPARE(contents(after, 0, editedPiece), contents(before, 0, editedPiece));
    QVERIFY(after[editedPiece].sha256 != before[editedPiece].sha256);
    const qint64 shift = qint64(inserted.size()) - removed;
    QCOMPARE(qint64(after[editedPiece].size), qint64(before[editedPiece].size) + shift);
    QCOMPARE(contents(after, editedPiece + 1, after.size()), contents(before, editedPiece + 1, before.size()));
    QCOMPARE(qint64(after.back().offset), qint64(before.back().offset) + shift);
}

void TestChunking::fileLargerThanSeveralPortions()
{
    // 300 MB: pieces straddle the 128 MiB portions of the default buffer; zero runs add forced cuts.
    QByteArray data = xorshiftBytes(300, 300 * 1000 * 1000);
    std::memset(data.data() + 130 * MiB, 0, 40 * MiB);
    const QString path = m_directory.filePath(QStringLiteral("large.bin"));
    writeFile(path, data);

    const std::vector<TChunkPiece> expected = shared::chunkBuffer(data);
    TFileChunkScanner scanner;
    COMPARE_PIECES(scanWith(scanner, path), expected);

    quint64 offset = 0;
    for (std::size_t i = 0; i < expected.size(); ++i) {
        QCOMPARE(expected[i].offset, offset);
        QVERIFY(expected[i].size <= TContentDefinedChunker::MaximumChunkSize);
        QVERIFY(i + 1 == expected.size() || expected[i].size > TContentDefinedChunker::MinimumChunkSize);
        offset += expected[i].size;
    }
    QCOMPARE(offset, quint64(data.size()));
    QFile::remove(path);
}

void TestChunking::handlerSeesPieceBytesAndProgress()
{
    TFileChunkScanner scanner(7 * MiB);
    quint64 progressTotal = 0;
    int progressCalls = 0;
    scanner.setProgressHandler([&](std::uint64_t scanned) {
        progressTotal += scanned;
        ++progressCalls;
    });
    int pieces = 0;
    const auto result = scanner.scanFile(m_goldenPath, [&](const TChunkPiece& piece, const unsigned char* data) {
        ++pieces;
        const bool sameBytes = std::memcmp(data, m_golden.constData() + piece.offset, piece.size) == 0;
        return sameBytes && shared::TSha256::hash(data, piece.size) == piece.sha256;
    });
    QCOMPARE(result, TFileChunkScanner::EResult::Completed);
    QCOMPARE(std::size_t(pieces), m_expected.pieces.size());
    QCOMPARE(progressCalls, pieces);
    QCOMPARE(progressTotal, quint64(m_golden.size()));
}

void TestChunking::handlerCanStopScan()
{
    TFileChunkScanner scanner;
    int pieces = 0;
    const auto result =
        scanner.scanFile(m_goldenPath, [&](const TChunkPiece&, const unsigned char*) { return ++pieces < 2; });
    QCOMPARE(result, TFileChunkScanner::EResult::Stopped);
    QCOMPARE(pieces, 2);
}

void TestChunking::unreadableFilesFail()
{
    TFileChunkScanner scanner;
    TFileChunkScanner::EResult result = TFileChunkScanner::EResult::Completed;
    const QString missing = m_directory.filePath(QStringLiteral("missing.bin"));
    QVERIFY(scanWith(scanner, missing, &result).empty());
    QCOMPARE(result, TFileChunkScanner::EResult::OpenFailed);
    QVERIFY(!scanner.errorString().isEmpty());

    // Neither a directory nor a FIFO without a writer is read (the FIFO would block forever).
    const QString fifo = m_directory.filePath(QStringLiteral("fifo"));
    QCOMPARE(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    for (const QString& path : {m_directory.path(), fifo}) {
        QVERIFY(scanWith(scanner, path, &result).empty());
        QCOMPARE(result, TFileChunkScanner::EResult::OpenFailed);
        QVERIFY(!scanner.errorString().isEmpty());
    }

    // The process's own memory file is a regular file whose first page can't be read.
    QVERIFY(scanWith(scanner, QStringLiteral("/proc/self/mem"), &result).empty());
    QCOMPARE(result, TFileChunkScanner::EResult::ReadFailed);
    QVERIFY(!scanner.errorString().isEmpty());

    try {
        shared::chunkFile(missing);
        QFAIL("chunkFile accepted a missing file");
    } catch (const shared::TChunkingError& error) {
        QVERIFY(QString::fromUtf8(error.what()).startsWith(QStringLiteral("I/O error on file '%1': ").arg(missing)));
    }
}

QTEST_GUILESS_MAIN(TestChunking)
#include "tst_chunking.moc"
