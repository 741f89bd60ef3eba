#include "zpaq/TZpaqDecoder.h"
#include "zpaq/TZpaqLimits.h"
#include "zpaq/TZpaqStreamDecoder.h"

#include <QCryptographicHash>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>
#include <cstdint>
#include <vector>

namespace {

const QString kDataDir = QStringLiteral(QUENMAR_SOURCE_DIR "/tests/data/zpaq/");

// ---- deterministic inputs -------------------------------------------------------------------

quint32 nextRandom(quint32& state)
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

QByteArray makeText(int size, quint32 seed)
{
    static const char* const kWords[] = {"launcher", "chunk",    "package",  "update", "verify",  "the",     "and",
                                         "of",       "manifest", "download", "client", "Quenmar", "segment", "\n"};
    QByteArray text;
    quint32 state = seed;
    while (text.size() < size) {
        text += kWords[nextRandom(state) % (sizeof(kWords) / sizeof(kWords[0]))];
        text += ' ';
    }
    text.truncate(size);
    return text;
}

// Machine-code-like bytes: relative calls and jumps (E8/E9 with small offsets), repeated
// instruction patterns and zero padding, so the executable transforms have work to do.
QByteArray makeBinary(int size, quint32 seed)
{
    QByteArray data;
    quint32 state = seed;
    while (data.size() < size) {
        const quint32 r = nextRandom(state);
        switch (r % 6) {
        case 0:
        case 1: {
            data += char((r >> 8) & 1 ? 0xE8 : 0xE9);
            const qint32 offset = qint32(r >> 12) % 4096 - 2048;
            for (int i = 0; i < 4; ++i)
                data += char((offset >> (8 * i)) & 0xFF);
            break;
        }
        case 2:
            data += QByteArray::fromHex("554889e54883ec10");
            break;
        case 3:
            data += QByteArray(int(r >> 28), '\0');
            break;
        default:
            data += char(r >> 16);
            data += char(r >> 24);
            break;
        }
    }
    data.truncate(size);
    return data;
}

QByteArray makeRandom(int size, quint32 seed)
{
    QByteArray data(size, '\0');
    quint32 state = seed;
    for (int i = 0; i < size; ++i)
        data[i] = char(nextRandom(state) >> 24);
    return data;
}

QByteArray makeInput(const QString& kind, int size)
{
    if (kind == QLatin1String("text"))
        return makeText(size, 12345);
    if (kind == QLatin1String("binary"))
        return makeBinary(size, 777);
    if (kind == QLatin1String("repeats")) // long exact repeats: matches far beyond any length cap
        return makeRandom(size / 3, 99).repeated(3) + makeText(size - size / 3 * 3, 5);
    return makeRandom(size, 4242);
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(data) == data.size();
}

// ---- decoding helpers -----------------------------------------------------------------------

struct TDecodeResult
{
    bool ok = false;
    QByteArray data;
};

TDecodeResult decode(const QByteArray& stream, std::size_t capacity)
{
    TDecodeResult result;
    std::vector<unsigned char> output(capacity == 0 ? 1 : capacity);
    std::size_t size = capacity;
    result.ok = shared::TZpaqDecoder::decode(reinterpret_cast<const unsigned char*>(stream.constData()),
                                             std::size_t(stream.size()), output.data(), size);
    if (result.ok)
        result.data = QByteArray(reinterpret_cast<const char*>(output.data()), int(size));
    return result;
}

QByteArray leb128(quint64 value)
{
    QByteArray bytes;
    do {
        quint8 byte = value & 0x7F;
        value >>= 7;
        if (value != 0)
            byte |= 0x80;
        bytes += char(byte);
    } while (value != 0);
    return bytes;
}

QByteArray makeContainer(quint8 id, const QByteArray& payload, quint64 unpackedSize)
{
    return QByteArray(1, char(0x70)) + char(id) + leb128(unpackedSize) + leb128(quint64(payload.size())) + payload;
}

// Opens a container the way the downloader does and hands an id-6 payload to the decoder.
TDecodeResult decodeContainer(const QByteArray& container)
{
    int pos = 0;
    while (pos < container.size() && container[pos] == '\0')
        ++pos;
    if (container.size() - pos < 2 || quint8(container[pos]) != 0x70 || container[pos + 1] != 6)
        return {};
    pos += 2;
    auto readLeb = [&container, &pos](quint64& value) {
        value = 0;
        for (int shift = 0; pos < container.size() && shift < 64; shift += 7) {
            const quint8 byte = quint8(container[pos++]);
            value |= quint64(byte & 0x7F) << shift;
            if ((byte & 0x80) == 0)
                return true;
        }
        return false;
    };
    quint64 unpacked = 0;
    quint64 packed = 0;
    if (!readLeb(unpacked) || !readLeb(packed) || packed > quint64(container.size() - pos))
        return {};
    return decode(container.mid(pos, int(packed)), std::size_t(unpacked));
}

// ---- running the installed archiver --------------------------------------------------------

QString zpaqProgram()
{
    return QStandardPaths::findExecutable(QStringLiteral("zpaq"));
}

bool runZpaq(const QStringList& arguments, const QString& workingDirectory)
{
    QProcess process;
    process.setWorkingDirectory(workingDirectory);
    process.start(zpaqProgram(), arguments);
    if (!process.waitForFinished(120000)) {
        process.kill();
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

// Compresses data as "input.bin" into a streaming archive with the given method.
QByteArray zpaqCompress(const QTemporaryDir& dir, const QByteArray& data, const QString& method)
{
    if (!writeFile(dir.filePath(QStringLiteral("input.bin")), data))
        return {};
    if (!runZpaq({QStringLiteral("add"), QStringLiteral("archive.zpaq"), QStringLiteral("input.bin"),
                  QStringLiteral("-method"), method},
                 dir.path()))
        return {};
    return readFile(dir.filePath(QStringLiteral("archive.zpaq")));
}

// What the archiver itself restores from the archive written by zpaqCompress.
QByteArray zpaqExtract(const QTemporaryDir& dir)
{
    if (!runZpaq({QStringLiteral("extract"), QStringLiteral("archive.zpaq"), QStringLiteral("-to"),
                  QStringLiteral("extracted")},
                 dir.path()))
        return {};
    return readFile(dir.filePath(QStringLiteral("extracted/input.bin")));
}

int countBlocks(const QByteArray& archive)
{
    static const QByteArray kTag = QByteArray::fromHex("376b5374a03183d38cb228b0d3") + "zPQ";
    int count = 0;
    for (int pos = archive.indexOf(kTag); pos >= 0; pos = archive.indexOf(kTag, pos + 1))
        ++count;
    return count;
}

// ---- hand-built streams --------------------------------------------------------------------

// Block header: "zPQ", level, 1, size, memory sizes, components, 0, context program, 0.
QByteArray blockHeader(int level, const QByteArray& components, int componentCount, const QByteArray& hcomp,
                       int hBits = 0, int mBits = 0, int postHBits = 0, int postMBits = 0)
{
    QByteArray header;
    header += char(hBits);
    header += char(mBits);
    header += char(postHBits);
    header += char(postMBits);
    header += char(componentCount);
    header += components;
    header += '\0';
    header += hcomp;
    header += '\0';
    return QByteArray("zPQ") + char(level) + char(1) + char(header.size() & 0xFF) + char(header.size() >> 8) + header;
}

QByteArray segmentStart()
{
    return QByteArray(1, char(1)) + QByteArray("name\0comment\0", 13) + '\0';
}

QByteArray sha1Trailer(const QByteArray& data)
{
    return QByteArray(1, char(253)) + QCryptographicHash::hash(data, QCryptographicHash::Sha1);
}

// Stored segment data: the decoded bytes in one big-endian length-prefixed run, then a zero length.
QByteArray storedRun(const QByteArray& decoded)
{
    const quint32 n = quint32(decoded.size());
    QByteArray run;
    run += char(n >> 24);
    run += char(n >> 16);
    run += char(n >> 8);
    run += char(n);
    return run + decoded + QByteArray(4, '\0');
}

// A block without a model whose post-processor is the given ZPAQL program.
QByteArray storedBlockWithProgram(const QByteArray& pcomp, const QByteArray& data, const QByteArray& trailer)
{
    const QByteArray decoded =
        QByteArray(1, char(1)) + char(pcomp.size() & 0xFF) + char(pcomp.size() >> 8) + pcomp + data;
    return blockHeader(2, {}, 0, {}, 0, 0, 0, 4) + segmentStart() + storedRun(decoded) + trailer + char(255);
}

// A post-processor that buffers the bytes in M and writes them reversed at the end of a segment.
QByteArray reverseAtEndOfSegment()
{
    return QByteArray::fromHex("efff2f0e" // 0: a>255  2: jf +14 -> 18 (store)
                               "42"       // 4: a=c
                               "ef00"     // 5: a>0
                               "2f08"     // 7: jf +8 -> 17 (done)
                               "12"       // 9: c--
                               "4a"       // 10: b=c
                               "44"       // 11: a=*b
                               "39"       // 12: out
                               "ff0400"   // 13: lj 4
                               "00"       // 16: (never reached)
                               "38"       // 17: halt
                               "68"       // 18: *c=a
                               "11"       // 19: c++
                               "38");     // 20: halt
}

// An independent binary arithmetic encoder, the mirror of the format's decoder, used with a
// model whose prediction never changes (CONST and AVG components).
class TConstantModelEncoder
{
public:
    explicit TConstantModelEncoder(int probability) : m_probability(probability) {}

    QByteArray encode(const QByteArray& decoded)
    {
        for (char c : decoded) {
            encodeBit(0, 0); // not the end of the segment
            for (int i = 7; i >= 0; --i)
                encodeBit((quint8(c) >> i) & 1, m_probability);
        }
        encodeBit(1, 0);
        return m_out + QByteArray(4, '\0');
    }

private:
    void encodeBit(int bit, int p)
    {
        const quint32 mid = m_low + quint32((quint64(m_high - m_low) * quint32(p)) >> 16);
        if (bit != 0)
            m_high = mid;
        else
            m_low = mid + 1;
        while ((m_high ^ m_low) < 0x1000000u) {
            m_out += char(m_high >> 24);
            m_high = m_high << 8 | 255;
            m_low <<= 8;
            m_low += m_low == 0 ? 1 : 0;
        }
    }

    int m_probability;
    quint32 m_low = 1;
    quint32 m_high = 0xFFFFFFFFu;
    QByteArray m_out;
};

// The coder's probability for a stretched prediction x: 2 * 32768 / (1 + e^(-x/64)) + 1.
int coderProbability(int stretched)
{
    return int(32768.0 / (1 + std::exp(-stretched / 64.0))) * 2 + 1;
}

} // namespace

class TestZpaqDecoder : public QObject
{
    Q_OBJECT

private slots:
    void decodesCommittedSamples_data();
    void decodesCommittedSamples();
    void decodesArchivesMadeByZpaq_data();
    void decodesArchivesMadeByZpaq();
    void decodesThroughContainer_data();
    void decodesThroughContainer();
    void locatesBlocks_data();
    void locatesBlocks();
    void rejectsBadArguments_data();
    void rejectsBadArguments();
    void enforcesCapacity_data();
    void enforcesCapacity();
    void rejectsTruncatedStreams_data();
    void rejectsTruncatedStreams();
    void neverReportsCorruptDataAsSuccess_data();
    void neverReportsCorruptDataAsSuccess();
    void decodesSegmentsOfOneBlock();
    void runsHandWrittenPrograms_data();
    void runsHandWrittenPrograms();
    void stopsFaultyPrograms_data();
    void stopsFaultyPrograms();
    void decodesConstantModels_data();
    void decodesConstantModels();
    void enforcesMemoryLimit();
    void survivesFuzzerFindings_data();
    void survivesFuzzerFindings();
};

void TestZpaqDecoder::decodesCommittedSamples_data()
{
    QTest::addColumn<QString>("archive");
    QTest::newRow("stored") << "sample_stored.zpaq";
    QTest::newRow("order-2 ICM") << "sample_icm.zpaq";
    QTest::newRow("BWT, ICM and ISSE") << "sample_bwt.zpaq";
    QTest::newRow("packed LZ77") << "sample_lz77.zpaq";
    QTest::newRow("ISSE chain, MATCH and MIX") << "sample_mix.zpaq";
}

void TestZpaqDecoder::decodesCommittedSamples()
{
    QFETCH(QString, archive);
    const QByteArray expected = readFile(kDataDir + QStringLiteral("sample.txt"));
    const QByteArray stream = readFile(kDataDir + archive);
    QVERIFY(!expected.isEmpty());
    QVERIFY(!stream.isEmpty());
    const TDecodeResult result = decode(stream, std::size_t(expected.size()));
    QVERIFY(result.ok);
    QCOMPARE(result.data, expected);
}

void TestZpaqDecoder::decodesArchivesMadeByZpaq_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<int>("size");
    QTest::addColumn<QString>("method");
    QTest::addColumn<int>("minimumBlocks");

    QTest::newRow("text, stored") << "text" << 200000 << "s4" << 1;
    QTest::newRow("text, order-2 ICM") << "text" << 200000 << "s4.0c0.0.255.255" << 1;
    QTest::newRow("text, order-2 CM") << "text" << 200000 << "s4.0c20.0.255.255" << 1;
    QTest::newRow("text, BWT + ICM + ISSE") << "text" << 200000 << "s4.3ci1" << 1;
    QTest::newRow("text, ISSE chain + MATCH + MIX") << "text" << 200000 << "s4.0ci1.1.1.1.2am" << 1;
    QTest::newRow("text, ICM + ISSE + SSE") << "text" << 200000 << "s4.0ci1s" << 1;
    QTest::newRow("text, word model") << "text" << 200000 << "s4.0cw2" << 1;
    QTest::newRow("text, byte LZ77 + ICM") << "text" << 200000 << "s4.2.12.0.8.27c0.0.511.255" << 1;
    QTest::newRow("binary, packed LZ77") << "binary" << 300000 << "s4.1.4.0.5.22.1" << 1;
    QTest::newRow("binary, E8E9 + ICM") << "binary" << 300000 << "s4.4c0.0.255" << 1;
    QTest::newRow("binary, E8E9 + BWT + MIX2") << "binary" << 300000 << "s4.7ci1t" << 1;
    QTest::newRow("binary, ICM + MIX") << "binary" << 300000 << "s4.0cm" << 1;
    QTest::newRow("binary, ICM + MATCH + MIX") << "binary" << 300000 << "s4.0ca24m" << 1;
    QTest::newRow("repeats, ICM + MATCH") << "repeats" << 150000 << "s4.0ca" << 1;
    QTest::newRow("repeats, ICM + MATCH + MIX") << "repeats" << 150000 << "s4.0ca24m" << 1;
    QTest::newRow("random, stored") << "random" << 150000 << "s4" << 1;
    QTest::newRow("random, ISSE chain + MIX2") << "random" << 150000 << "s4.0ci1t" << 1;
    QTest::newRow("random, packed LZ77") << "random" << 150000 << "s4.1.4.0.5.22.1" << 1;
    QTest::newRow("random, BWT") << "random" << 150000 << "s4.3ci1" << 1;
    QTest::newRow("multi-block text, BWT") << "text" << 2500000 << "s0.3ci1" << 3;
    QTest::newRow("multi-block binary, LZ77") << "binary" << 2500000 << "s0.1.4.0.5.22.1" << 3;
    QTest::newRow("multi-block random, stored") << "random" << 2500000 << "s0" << 3;
}

void TestZpaqDecoder::decodesArchivesMadeByZpaq()
{
    QFETCH(QString, kind);
    QFETCH(int, size);
    QFETCH(QString, method);
    QFETCH(int, minimumBlocks);
    if (zpaqProgram().isEmpty())
        QSKIP("zpaq is not installed (scripts/setup-deps.sh installs it)");

    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray input = makeInput(kind, size);
    const QByteArray archive = zpaqCompress(dir, input, method);
    QVERIFY2(!archive.isEmpty(), "zpaq failed to compress");
    QVERIFY(countBlocks(archive) >= minimumBlocks);
    const QByteArray extracted = zpaqExtract(dir);
    QCOMPARE(extracted, input);

    const TDecodeResult result = decode(archive, std::size_t(input.size()));
    QVERIFY(result.ok);
    QCOMPARE(result.data.size(), extracted.size());
    QVERIFY(result.data == extracted);
}

void TestZpaqDecoder::decodesThroughContainer_data()
{
    QTest::addColumn<QString>("archive");
    QTest::addColumn<int>("padding");
    QTest::newRow("BWT") << "sample_bwt.zpaq" << 0;
    QTest::newRow("LZ77 after zero padding") << "sample_lz77.zpaq" << 3;
    QTest::newRow("stored") << "sample_stored.zpaq" << 0;
}

void TestZpaqDecoder::decodesThroughContainer()
{
    QFETCH(QString, archive);
    QFETCH(int, padding);
    const QByteArray expected = readFile(kDataDir + QStringLiteral("sample.txt"));
    const QByteArray payload = readFile(kDataDir + archive);
    const QByteArray container = QByteArray(padding, '\0') + makeContainer(6, payload, quint64(expected.size()));
    // 16040 needs two LEB128 bytes.
    QCOMPARE(quint8(container[padding + 2]) & 0x80, 0x80);
    const TDecodeResult result = decodeContainer(container);
    QVERIFY(result.ok);
    QCOMPARE(result.data, expected);

    // A container that declares one byte too few cannot hold the data.
    const TDecodeResult tooSmall = decodeContainer(makeContainer(6, payload, quint64(expected.size() - 1)));
    QVERIFY(!tooSmall.ok);
}

void TestZpaqDecoder::locatesBlocks_data()
{
    QTest::addColumn<QByteArray>("prefix");
    QTest::addColumn<QByteArray>("suffix");
    QTest::addColumn<bool>("keepTag");
    QTest::addColumn<bool>("decodes");
    QTest::newRow("tag at the start") << QByteArray() << QByteArray() << true << true;
    QTest::newRow("bare block marker at the start") << QByteArray() << QByteArray() << false << true;
    QTest::newRow("other bytes before the tag")
        << QByteArray("self-extractor stub \x37\x6b\x53 xyz") << QByteArray() << true << true;
    QTest::newRow("other bytes after the last block") << QByteArray() << QByteArray("trailer \x37\x6b") << true << true;
    QTest::newRow("other bytes before a bare marker") << QByteArray("junk") << QByteArray() << false << false;
}

void TestZpaqDecoder::locatesBlocks()
{
    QFETCH(QByteArray, prefix);
    QFETCH(QByteArray, suffix);
    QFETCH(bool, keepTag);
    QFETCH(bool, decodes);
    const QByteArray expected = readFile(kDataDir + QStringLiteral("sample.txt"));
    QByteArray stream = readFile(kDataDir + QStringLiteral("sample_icm.zpaq"));
    QVERIFY(stream.startsWith(QByteArray::fromHex("376b5374")));
    if (!keepTag)
        stream.remove(0, 13);
    const TDecodeResult result = decode(prefix + stream + suffix, std::size_t(expected.size()));
    QCOMPARE(result.ok, decodes);
    if (decodes)
        QCOMPARE(result.data, expected);

    // Two streams back to back decode as one: blocks are concatenated.
    const TDecodeResult twice = decode(prefix + stream + stream + suffix, std::size_t(expected.size()) * 2);
    QCOMPARE(twice.ok, decodes);
    if (decodes)
        QCOMPARE(twice.data, expected + expected);
}

void TestZpaqDecoder::rejectsBadArguments_data()
{
    QTest::addColumn<bool>("nullInput");
    QTest::addColumn<bool>("emptyInput");
    QTest::addColumn<bool>("nullOutput");
    QTest::addColumn<bool>("zeroCapacity");
    QTest::newRow("null input") << true << false << false << false;
    QTest::newRow("empty input") << false << true << false << false;
    QTest::newRow("null output") << false << false << true << false;
    QTest::newRow("zero capacity") << false << false << false << true;
}

void TestZpaqDecoder::rejectsBadArguments()
{
    QFETCH(bool, nullInput);
    QFETCH(bool, emptyInput);
    QFETCH(bool, nullOutput);
    QFETCH(bool, zeroCapacity);
    const QByteArray stream = readFile(kDataDir + QStringLiteral("sample_stored.zpaq"));
    std::vector<unsigned char> output(20000);
    std::size_t size = zeroCapacity ? 0 : output.size();
    const bool ok = shared::TZpaqDecoder::decode(
        nullInput ? nullptr : reinterpret_cast<const unsigned char*>(stream.constData()),
        emptyInput ? 0 : std::size_t(stream.size()), nullOutput ? nullptr : output.data(), size);
    QVERIFY(!ok);
    QCOMPARE(size, zeroCapacity ? std::size_t(0) : output.size());
}

void TestZpaqDecoder::enforcesCapacity_data()
{
    QTest::addColumn<QString>("archive");
    QTest::addColumn<int>("capacityDelta");
    QTest::addColumn<bool>("decodes");
    QTest::newRow("stored, exact") << "sample_stored.zpaq" << 0 << true;
    QTest::newRow("stored, one byte short") << "sample_stored.zpaq" << -1 << false;
    QTest::newRow("ICM, larger than needed") << "sample_icm.zpaq" << 1000 << true;
    QTest::newRow("ICM, one byte short") << "sample_icm.zpaq" << -1 << false;
    QTest::newRow("BWT post-processor, one byte short") << "sample_bwt.zpaq" << -1 << false;
    QTest::newRow("LZ77 post-processor, half") << "sample_lz77.zpaq" << -8020 << false;
}

void TestZpaqDecoder::enforcesCapacity()
{
    QFETCH(QString, archive);
    QFETCH(int, capacityDelta);
    QFETCH(bool, decodes);
    const QByteArray expected = readFile(kDataDir + QStringLiteral("sample.txt"));
    const QByteArray stream = readFile(kDataDir + archive);
    const TDecodeResult result = decode(stream, std::size_t(expected.size() + capacityDelta));
    QCOMPARE(result.ok, decodes);
    if (decodes)
        QCOMPARE(result.data, expected);
}

void TestZpaqDecoder::rejectsTruncatedStreams_data()
{
    QTest::addColumn<QString>("archive");
    QTest::newRow("stored") << "sample_stored.zpaq";
    QTest::newRow("ICM") << "sample_icm.zpaq";
    QTest::newRow("BWT") << "sample_bwt.zpaq";
    QTest::newRow("LZ77") << "sample_lz77.zpaq";
    QTest::newRow("MIX") << "sample_mix.zpaq";
}

void TestZpaqDecoder::rejectsTruncatedStreams()
{
    QFETCH(QString, archive);
    const QByteArray stream = readFile(kDataDir + archive);
    QVERIFY(stream.size() > 100);
    // Every cut, except after the last byte (the end-of-block marker), loses data or a check.
    const int step = qMax(1, stream.size() / 300);
    for (int length = 1; length < stream.size(); length += step) {
        const TDecodeResult result = decode(stream.left(length), 20000);
        if (result.ok)
            QFAIL(qPrintable(QStringLiteral("truncation at %1 of %2 decoded").arg(length).arg(stream.size())));
    }
    QVERIFY(!decode(stream.left(stream.size() - 1), 20000).ok);
}

void TestZpaqDecoder::neverReportsCorruptDataAsSuccess_data()
{
    QTest::addColumn<QString>("archive");
    QTest::addColumn<quint8>("mask");
    QTest::addColumn<int>("probes");
    QTest::newRow("ICM, low bit") << "sample_icm.zpaq" << quint8(0x01) << 250;
    QTest::newRow("BWT, high bit") << "sample_bwt.zpaq" << quint8(0x80) << 250;
    QTest::newRow("LZ77, all bits") << "sample_lz77.zpaq" << quint8(0xFF) << 250;
    QTest::newRow("MIX, middle bits") << "sample_mix.zpaq" << quint8(0x18) << 80;
    QTest::newRow("stored, low bit") << "sample_stored.zpaq" << quint8(0x01) << 250;
}

void TestZpaqDecoder::neverReportsCorruptDataAsSuccess()
{
    QFETCH(QString, archive);
    QFETCH(quint8, mask);
    QFETCH(int, probes);
    const QByteArray expected = readFile(kDataDir + QStringLiteral("sample.txt"));
    const QByteArray stream = readFile(kDataDir + archive);
    const int step = qMax(1, stream.size() / probes);
    int rejected = 0;
    for (int pos = 0; pos < stream.size(); pos += step) {
        QByteArray damaged = stream;
        damaged[pos] = char(quint8(damaged[pos]) ^ mask);
        const TDecodeResult result = decode(damaged, std::size_t(expected.size()) + 4096);
        // Damage to names and comments is harmless; anything else must be caught (SHA-1 at worst).
        if (result.ok)
            QVERIFY2(result.data == expected, qPrintable(QStringLiteral("wrong data accepted, byte %1").arg(pos)));
        else
            ++rejected;
    }
    QVERIFY(rejected > 0);
}

void TestZpaqDecoder::decodesSegmentsOfOneBlock()
{
    // The post-processor reverses what it buffered at each end of segment; its program arrives in
    // the first segment only and its state carries over to the next.
    const QByteArray reverse = reverseAtEndOfSegment();
    const QByteArray first = QByteArray(1, char(1)) + char(reverse.size()) + char(0) + reverse + "stressed";
    const QByteArray second("stop");
    const QByteArray block = blockHeader(2, {}, 0, {}, 0, 0, 0, 4) + segmentStart() + storedRun(first) +
                             sha1Trailer("desserts") + segmentStart() + storedRun(second) + sha1Trailer("pots") +
                             char(255);
    const TDecodeResult result = decode(block, 100);
    QVERIFY(result.ok);
    QCOMPARE(result.data, QByteArray("dessertspots"));

    // Each segment carries its own digest: swapping them fails.
    const QByteArray swapped = blockHeader(2, {}, 0, {}, 0, 0, 0, 4) + segmentStart() + storedRun(first) +
                               sha1Trailer("pots") + segmentStart() + storedRun(second) + sha1Trailer("desserts") +
                               char(255);
    QVERIFY(!decode(swapped, 100).ok);
}

void TestZpaqDecoder::runsHandWrittenPrograms_data()
{
    QTest::addColumn<QByteArray>("pcomp");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");
    // At the end of a segment the program runs with A = 2^32 - 1, which it must not write out.
    // a>255 jt 1 out halt
    QTest::newRow("copy") << QByteArray::fromHex("efff27013938") << QByteArray("hello") << QByteArray("hello");
    // a>255 jt 2 out out halt
    QTest::newRow("double every byte") << QByteArray::fromHex("efff2702393938") << QByteArray("abc")
                                       << QByteArray("aabbcc");
    // a>255 jt 3 a+= 1 out halt: the operand form of an ALU instruction.
    QTest::newRow("add one") << QByteArray::fromHex("efff270387013938") << QByteArray("HAL") << QByteArray("IBM");
    QTest::newRow("reverse at end of segment")
        << reverseAtEndOfSegment() << QByteArray("stressed") << QByteArray("desserts");
}

void TestZpaqDecoder::runsHandWrittenPrograms()
{
    QFETCH(QByteArray, pcomp);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);
    const QByteArray stream = storedBlockWithProgram(pcomp, input, sha1Trailer(expected));
    const TDecodeResult result = decode(stream, 100);
    QVERIFY(result.ok);
    QCOMPARE(result.data, expected);

    // The same block with a digest of other data fails the SHA-1 check.
    QVERIFY(!decode(storedBlockWithProgram(pcomp, input, sha1Trailer(expected + 'x')), 100).ok);
}

void TestZpaqDecoder::stopsFaultyPrograms_data()
{
    QTest::addColumn<QByteArray>("pcomp");
    QTest::addColumn<QByteArray>("hcomp");
    QTest::newRow("post-processor loops forever") << QByteArray::fromHex("3ffe") << QByteArray();
    QTest::newRow("post-processor long-jumps to itself") << QByteArray::fromHex("ff0000") << QByteArray();
    QTest::newRow("post-processor loops through a fused compare")
        << QByteArray::fromHex("ef0027fc") << QByteArray(); // a>0 jt -4
    QTest::newRow("post-processor writes forever") << QByteArray::fromHex("393ffd") << QByteArray();
    QTest::newRow("post-processor jumps past its end") << QByteArray::fromHex("3f7f38") << QByteArray();
    QTest::newRow("post-processor long-jumps out") << QByteArray::fromHex("ffff7f") << QByteArray();
    QTest::newRow("post-processor runs off its end") << QByteArray::fromHex("01") << QByteArray();
    QTest::newRow("post-processor executes an error") << QByteArray::fromHex("00") << QByteArray();
    QTest::newRow("post-processor uses a reserved opcode") << QByteArray::fromHex("f0") << QByteArray();
    QTest::newRow("post-processor operand cut off") << QByteArray::fromHex("ef") << QByteArray();
    QTest::newRow("context program loops forever") << QByteArray() << QByteArray::fromHex("3ffe");
    QTest::newRow("context program jumps out") << QByteArray() << QByteArray::fromHex("3f40");
}

void TestZpaqDecoder::stopsFaultyPrograms()
{
    QFETCH(QByteArray, pcomp);
    QFETCH(QByteArray, hcomp);
    QByteArray stream;
    if (!pcomp.isEmpty()) {
        stream = storedBlockWithProgram(pcomp, QByteArray("data"), QByteArray(1, char(254)));
    } else {
        // One CONST component; the context program runs after the first decoded byte.
        const QByteArray decoded = QByteArray(1, '\0') + "data";
        const QByteArray coded = TConstantModelEncoder(coderProbability(0)).encode(decoded);
        stream = blockHeader(1, QByteArray::fromHex("0180"), 1, hcomp) + segmentStart() + coded + char(254) + char(255);
    }
    QElapsedTimer timer;
    timer.start();
    QVERIFY(!decode(stream, 1 << 20).ok);
    // Generous bound: the instruction budget stops a runaway program within seconds at most.
    QVERIFY(timer.elapsed() < 60000);
}

void TestZpaqDecoder::decodesConstantModels_data()
{
    QTest::addColumn<int>("level");
    QTest::addColumn<QByteArray>("components");
    QTest::addColumn<int>("componentCount");
    QTest::addColumn<int>("stretched");
    QTest::newRow("CONST 128 (even odds)") << 1 << QByteArray::fromHex("0180") << 1 << 0;
    QTest::newRow("CONST 200") << 2 << QByteArray::fromHex("01c8") << 1 << (200 - 128) * 16;
    QTest::newRow("CONST 3 (strongly zero)") << 2 << QByteArray::fromHex("0103") << 1 << (3 - 128) * 16;
    // AVG 0 1 100: (1152 * 100 + (-1088) * 156) >> 8 = -213.
    QTest::newRow("AVG of two CONSTs") << 1 << QByteArray::fromHex("01c8013c05000164") << 3 << -213;
}

void TestZpaqDecoder::decodesConstantModels()
{
    QFETCH(int, level);
    QFETCH(QByteArray, components);
    QFETCH(int, componentCount);
    QFETCH(int, stretched);
    const QByteArray data = makeText(3000, 99);
    const QByteArray decoded = QByteArray(1, '\0') + data; // no post-processing
    const QByteArray coded = TConstantModelEncoder(coderProbability(stretched)).encode(decoded);
    const QByteArray block = blockHeader(level, components, componentCount, QByteArray::fromHex("38"), 2, 2);
    const QByteArray stream = block + segmentStart() + coded + sha1Trailer(data) + char(255);
    const TDecodeResult result = decode(stream, std::size_t(data.size()));
    QVERIFY(result.ok);
    QCOMPARE(result.data, data);

    // Coded with another probability, the same bytes do not decode (the SHA-1 or the framing fails).
    const int otherProbability = coderProbability(stretched == 0 ? 300 : 0);
    QVERIFY(otherProbability != coderProbability(stretched));
    const QByteArray wrong = TConstantModelEncoder(otherProbability).encode(decoded);
    QVERIFY(!decode(block + segmentStart() + wrong + sha1Trailer(data) + char(255), std::size_t(data.size())).ok);
}

void TestZpaqDecoder::enforcesMemoryLimit()
{
    // A header asking for 2^32 words of H (16 GiB) is refused before anything is allocated.
    const QByteArray greedy = blockHeader(2, {}, 0, {}, 0, 0, 32, 0) + segmentStart() +
                              storedRun(QByteArray::fromHex("0001")) + char(254) + char(255);
    QVERIFY(!decode(greedy, 100).ok);

    // A post-processor's memory counts even while the block has not sent its program yet.
    QByteArray passThrough = greedy;
    passThrough[7 + 2] = char(20); // ph = 20: 4 MiB of H
    shared::TZpaqLimits limits;
    limits.maxBlockMemory = 1 << 20;
    std::vector<unsigned char> out(16);
    QVERIFY_EXCEPTION_THROWN(
        shared::TZpaqStreamDecoder(limits).decode(reinterpret_cast<const unsigned char*>(passThrough.constData()),
                                                  std::size_t(passThrough.size()), out.data(), out.size()),
        std::runtime_error);

    // Within a small limit a block with a large post-processor fails, yet passes with room to spare.
    const QByteArray modest =
        storedBlockWithProgram(QByteArray::fromHex("efff27013938"), "abc", QByteArray(1, char(254)));
    QCOMPARE(shared::TZpaqStreamDecoder(limits).decode(reinterpret_cast<const unsigned char*>(modest.constData()),
                                                       std::size_t(modest.size()), out.data(), out.size()),
             std::size_t(3));
    QByteArray bigPost = modest;
    bigPost[7 + 2] = char(20);
    QVERIFY_EXCEPTION_THROWN(
        shared::TZpaqStreamDecoder(limits).decode(reinterpret_cast<const unsigned char*>(bigPost.constData()),
                                                  std::size_t(bigPost.size()), out.data(), out.size()),
        std::runtime_error);
    limits.maxBlockMemory = 64 << 20;
    QCOMPARE(shared::TZpaqStreamDecoder(limits).decode(reinterpret_cast<const unsigned char*>(bigPost.constData()),
                                                       std::size_t(bigPost.size()), out.data(), out.size()),
             std::size_t(3));
}

void TestZpaqDecoder::survivesFuzzerFindings_data()
{
    QTest::addColumn<QString>("file");
    const QStringList findings = QDir(kDataDir).entryList({QStringLiteral("fuzz-*")}, QDir::Files, QDir::Name);
    if (findings.isEmpty())
        QTest::newRow("none recorded") << QString();
    for (const QString& name : findings)
        QTest::newRow(qPrintable(name)) << name;
}

void TestZpaqDecoder::survivesFuzzerFindings()
{
    QFETCH(QString, file);
    if (file.isEmpty())
        QSKIP("no fuzzer findings are recorded");
    const QByteArray stream = readFile(kDataDir + file);
    QVERIFY(!stream.isEmpty());
    // Each of these inputs once crashed, hung or misbehaved; now each one must decode or fail cleanly.
    const TDecodeResult result = decode(stream, 1 << 20);
    if (result.ok)
        QVERIFY(std::size_t(result.data.size()) <= std::size_t(1) << 20);
}

QTEST_GUILESS_MAIN(TestZpaqDecoder)
#include "tst_TZpaqDecoder.moc"
