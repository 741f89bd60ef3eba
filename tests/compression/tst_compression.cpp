#include "TTestSupport.h"
#include "support/TestRandom.h"
#include "zstd/ZstdFuzzCheck.h"

#include "compression/TContainerDecoder.h"
#include "compression/TContainerEncoder.h"
#include "compression/TContainerHeader.h"
#include "compression/TDecompressionError.h"
#include "compression/TDecompressor.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

using shared::EContainerAlgorithm;
using shared::TContainerDecoder;
using shared::TContainerEncoder;
using shared::TContainerHeader;
using testsupport::pseudoRandom;

// AddressSanitizer keeps an eighth of every allocation as shadow memory that becomes resident, so
// an untouched buffer costs memory there.
#if defined(__SANITIZE_ADDRESS__)
#define QUENMAR_ADDRESS_SANITIZER
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QUENMAR_ADDRESS_SANITIZER
#endif
#endif

namespace {

QByteArray container(int id, quint64 unpackedSize, const QByteArray& payload)
{
    TContainerHeader header;
    header.algorithmId = static_cast<quint8>(id);
    header.unpackedSize = unpackedSize;
    header.packedSize = static_cast<quint64>(payload.size());
    return header.toBytes() + payload;
}

QByteArray container(EContainerAlgorithm id, quint64 unpackedSize, const QByteArray& payload)
{
    return container(int(id), unpackedSize, payload);
}

bool decodeFails(const QByteArray& input, qint64 bound = TContainerDecoder::Unbounded)
{
    try {
        shared::decompressContainer(input, bound);
    } catch (const shared::TDecompressionError& error) {
        return QByteArray(error.what()) == "Invalid input data could not be decompressed";
    }
    return false;
}

QByteArray hex(const char* text)
{
    return QByteArray::fromHex(text);
}

/// A field of /proc/self/status in KiB, or -1.
qint64 statusKiB(const QByteArray& field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray& line : status.readAll().split('\n')) {
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toLongLong();
    }
    return -1;
}

/// Restarts the process's peak resident memory (VmHWM) at its current resident size.
bool resetPeakResidentMemory()
{
    QFile clearRefs(QStringLiteral("/proc/self/clear_refs"));
    return clearRefs.open(QIODevice::WriteOnly) && clearRefs.write("5") == 1;
}

/// A zstd frame declaring contentSize bytes whose blocks repeat one byte blockCount times.
QByteArray zstdRunFrame(quint32 contentSize, int blockCount)
{
    constexpr quint32 BlockSize = 128 * 1024;
    QByteArray frame = hex("28b52ffda0");
    for (int shift = 0; shift < 32; shift += 8)
        frame.append(char((contentSize >> shift) & 0xff));
    for (int block = 0; block < blockCount; ++block) {
        const quint32 blockHeader = (BlockSize << 3) | (1u << 1) | (block + 1 == blockCount ? 1u : 0u);
        frame.append(char(blockHeader & 0xff)).append(char((blockHeader >> 8) & 0xff));
        frame.append(char((blockHeader >> 16) & 0xff)).append('\0');
    }
    return frame;
}

/// A zstd frame made by the zstd tool from standard input, so without a content size (level 1
/// keeps the window at 512 KiB).
QByteArray zstdToolFrame(const QByteArray& data, const QStringList& options = {"-1"})
{
    QString error;
    const QByteArray frame = TTestSupport::filter("zstd", options + QStringList{"-q", "-c"}, data, &error);
    if (!error.isEmpty())
        qFatal("%s", qPrintable(error));
    return frame;
}

} // namespace

Q_DECLARE_METATYPE(EContainerAlgorithm)

class TestCompression : public QObject
{
    Q_OBJECT

private slots:
    void passesNonContainersThrough_data();
    void passesNonContainersThrough();
    void decodesStoredContainers_data();
    void decodesStoredContainers();
    void variableLengthIntegersRoundTrip_data();
    void variableLengthIntegersRoundTrip();
    void rejectsMalformedContainers_data();
    void rejectsMalformedContainers();
    void coreRejectsEmptyArguments();

    void encoderRoundTrips_data();
    void encoderRoundTrips();
    void decodesLzipToolStreams_data();
    void decodesLzipToolStreams();
    void decodesZpaqToolStreams();
    void decodesXzLzmaStreams_data();
    void decodesXzLzmaStreams();
    void encoderOutputReadableByTools();
    void lzmaSizeFieldIsIgnored();
    void rejectsInvalidLzmaHeaders();

    void boundsTheOutput_data();
    void boundsTheOutput();
    void exactCapacityAcrossSizes();
    void streamsLongerThanDeclaredFail_data();
    void streamsLongerThanDeclaredFail();
    void streamsShorterThanDeclaredShrink_data();
    void streamsShorterThanDeclaredShrink();
    void truncatedAndCorruptStreamsFail_data();
    void truncatedAndCorruptStreamsFail();
    void zstdWindowLimitFollowsTheChunk_data();
    void zstdWindowLimitFollowsTheChunk();
    void zstdFuzzInvariantsHoldForMutatedSeeds();
    void survivesRandomPayloads();
    void hugeDeclaredSizeReservesNoResidentMemory_data();
    void hugeDeclaredSizeReservesNoResidentMemory();
};

void TestCompression::passesNonContainersThrough_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::newRow("text") << QByteArray("hello");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("id 24") << hex("7018030361626300");
    QTest::newRow("id 255") << hex("70ff0101");
    QTest::newRow("padding only") << hex("000000");
    QTest::newRow("magic alone") << hex("000070");
    QTest::newRow("other first byte") << hex("00710003036162");
}

void TestCompression::passesNonContainersThrough()
{
    QFETCH(QByteArray, input);
    QCOMPARE(shared::decompressContainer(input), input);
    QCOMPARE(shared::decompressContainer(input, 1), input);
}

void TestCompression::decodesStoredContainers_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("padded") << hex("000070000303616263") << QByteArray("abc");
    const QByteArray block(128, 'q');
    QTest::newRow("two-byte size 128") << hex("7000 8001 8001") + block << block;
    QTest::newRow("payload shorter than unpacked") << hex("7000 05 02 6869") << QByteArray("hi");
    QTest::newRow("trailing bytes ignored") << hex("7000 01 01 78 797a") << QByteArray("x");
}

void TestCompression::decodesStoredContainers()
{
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, expected);
    QCOMPARE(shared::decompressContainer(input), expected);
}

void TestCompression::variableLengthIntegersRoundTrip_data()
{
    QTest::addColumn<quint64>("value");
    QTest::addColumn<QByteArray>("encoded");
    QTest::newRow("0") << quint64(0) << hex("00");
    QTest::newRow("127") << quint64(127) << hex("7f");
    QTest::newRow("128") << quint64(128) << hex("8001");
    QTest::newRow("300") << quint64(300) << hex("ac02");
    QTest::newRow("2^32") << (quint64(1) << 32) << hex("8080808010");
    QTest::newRow("2^64-1") << ~quint64(0) << hex("ffffffffffffffffff01");
}

void TestCompression::variableLengthIntegersRoundTrip()
{
    QFETCH(quint64, value);
    QFETCH(QByteArray, encoded);
    QByteArray bytes;
    TContainerHeader::appendVarUInt(bytes, value);
    QCOMPARE(bytes, encoded);

    // As the unpacked size of a header followed by an empty packed size.
    TContainerHeader header;
    const QByteArray input = hex("7003") + encoded + hex("00");
    QCOMPARE(TContainerHeader::parse(input, header), TContainerHeader::EParseResult::Valid);
    QCOMPARE(header.unpackedSize, value);
    QCOMPARE(header.payloadOffset, qint64(input.size()));
}

void TestCompression::rejectsMalformedContainers_data()
{
    QTest::addColumn<QByteArray>("input");
    QTest::newRow("no sizes") << hex("7000");
    QTest::newRow("size runs past the end") << hex("700080");
    QTest::newRow("packed size missing") << hex("700003");
    QTest::newRow("eleven-byte integer") << hex("7000 80808080808080808080 01 01 61");
    QTest::newRow("integer overflows 64 bits") << hex("7000 ffffffffffffffffff02 01 61");
    QTest::newRow("payload shorter than packed size") << hex("7000 05 05 6162");
    QTest::newRow("stored packed above unpacked") << hex("7000 02 03 616263");
    QTest::newRow("unpacked size zero") << hex("7000 00 01 61");
    QTest::newRow("packed size zero") << hex("7003 01 00");
    QTest::newRow("unsupported id 8") << hex("7008030361626300");
    QTest::newRow("id 7 not a zstd frame") << hex("7007030361626300");
    QTest::newRow("id 14") << hex("700e030361626300");
    QTest::newRow("id 21") << hex("7015030361626300");
    QTest::newRow("id 6 garbage") << hex("7006030361626300");
    QTest::newRow("larger than a byte array") << hex("7000 8080808080808001 03 616263");
    QTest::newRow("largest 64-bit size") << hex("7003 ffffffffffffffffff01 03 616263");
}

void TestCompression::rejectsMalformedContainers()
{
    QFETCH(QByteArray, input);
    QVERIFY(decodeFails(input));
    QByteArray output;
    QCOMPARE(TContainerDecoder::decode(input, output), TContainerDecoder::EResult::Failed);
}

void TestCompression::coreRejectsEmptyArguments()
{
    const std::uint8_t payload[] = {'a', 'b'};
    std::uint8_t output[4] = {};
    std::size_t length = sizeof output;
    QVERIFY(shared::TDecompressor::unpack(0, payload, 2, output, length));
    QCOMPARE(length, std::size_t(2));
    length = sizeof output;
    QVERIFY(!shared::TDecompressor::unpack(0, nullptr, 2, output, length));
    QVERIFY(!shared::TDecompressor::unpack(0, payload, 0, output, length));
    QVERIFY(!shared::TDecompressor::unpack(0, payload, 2, nullptr, length));
    length = 0;
    QVERIFY(!shared::TDecompressor::unpack(0, payload, 2, output, length));
    length = 1;
    QVERIFY(!shared::TDecompressor::unpack(0, payload, 2, output, length));
}

void TestCompression::encoderRoundTrips_data()
{
    QTest::addColumn<EContainerAlgorithm>("algorithm");
    QTest::addColumn<int>("level");
    QTest::addColumn<QByteArray>("data");
    const QByteArray text = TTestSupport::text(300 * 1024);
    const QByteArray noise = pseudoRandom(100 * 1024, 1);
    for (const auto& [name, algorithm] :
         {std::pair{"stored", EContainerAlgorithm::Stored}, std::pair{"deflate", EContainerAlgorithm::Deflate},
          std::pair{"lzip", EContainerAlgorithm::Lzip}, std::pair{"lzma", EContainerAlgorithm::Lzma},
          std::pair{"zstd", EContainerAlgorithm::Zstd}}) {
        QTest::addRow("%s one byte", name) << algorithm << -1 << QByteArray("x");
        QTest::addRow("%s text", name) << algorithm << -1 << text;
        QTest::addRow("%s noise", name) << algorithm << -1 << noise;
        QTest::addRow("%s level 0", name) << algorithm << 0 << text;
        QTest::addRow("%s level 9", name) << algorithm << 9 << text.left(50000);
    }
    QTest::newRow("zstd level 19") << EContainerAlgorithm::Zstd << 19 << text;
    QTest::newRow("zstd level above 19") << EContainerAlgorithm::Zstd << 40 << text.left(1000);
}

void TestCompression::encoderRoundTrips()
{
    QFETCH(EContainerAlgorithm, algorithm);
    QFETCH(int, level);
    QFETCH(QByteArray, data);
    const QByteArray encoded = TContainerEncoder::encode(data, algorithm, level);
    TContainerHeader header;
    QCOMPARE(TContainerHeader::parse(encoded, header), TContainerHeader::EParseResult::Valid);
    QCOMPARE(header.algorithmId, quint8(algorithm));
    QCOMPARE(header.unpackedSize, quint64(data.size()));
    QCOMPARE(shared::decompressContainer(encoded), data);
    QCOMPARE(shared::decompressContainer(encoded, data.size()), data);
    if (algorithm != EContainerAlgorithm::Stored && data.size() > 1000 && level != 0)
        QVERIFY(encoded.size() < data.size() || data == pseudoRandom(data.size(), 1));
}

void TestCompression::decodesLzipToolStreams_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("data");
    QTest::newRow("default") << QStringList{} << TTestSupport::text(500000, 2);
    QTest::newRow("fast") << QStringList{"-0"} << TTestSupport::text(500000, 3);
    QTest::newRow("best") << QStringList{"-9"} << TTestSupport::text(200000, 4);
    QTest::newRow("noise") << QStringList{} << pseudoRandom(70000, 5);
    QTest::newRow("tiny") << QStringList{} << QByteArray("z");
}

void TestCompression::decodesLzipToolStreams()
{
    QFETCH(QStringList, options);
    QFETCH(QByteArray, data);
    QString error;
    const QByteArray payload = TTestSupport::filter("lzip", options + QStringList{"-c"}, data, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(shared::decompressContainer(container(EContainerAlgorithm::Lzip, data.size(), payload)), data);
}

void TestCompression::decodesZpaqToolStreams()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const QByteArray data = TTestSupport::text(300000, 6);
    QFile input(dir.filePath(QStringLiteral("input.bin")));
    QVERIFY(input.open(QIODevice::WriteOnly));
    input.write(data);
    input.close();
    QProcess zpaq;
    zpaq.setWorkingDirectory(dir.path());
    zpaq.start(QStringLiteral("zpaq"),
               {QStringLiteral("add"), QStringLiteral("archive.zpaq"), QStringLiteral("input.bin"),
                QStringLiteral("-method"), QStringLiteral("s4.3ci1")});
    QVERIFY(zpaq.waitForFinished(60000));
    QCOMPARE(zpaq.exitCode(), 0);
    QFile archive(dir.filePath(QStringLiteral("archive.zpaq")));
    QVERIFY(archive.open(QIODevice::ReadOnly));
    const QByteArray payload = archive.readAll();
    QVERIFY(payload.size() < data.size());
    QCOMPARE(shared::decompressContainer(container(EContainerAlgorithm::Zpaq, data.size(), payload)), data);
    QVERIFY(decodeFails(container(EContainerAlgorithm::Zpaq, data.size() - 1, payload)));
}

void TestCompression::decodesXzLzmaStreams_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<QByteArray>("data");
    const QByteArray text = TTestSupport::text(400000, 6);
    QTest::newRow("id 5") << 5 << QStringList{} << text;
    QTest::newRow("id 10") << 10 << QStringList{} << text;
    QTest::newRow("fast preset") << 5 << QStringList{"-0"} << text;
    QTest::newRow("lc0 lp2 pb0") << 5 << QStringList{"--lzma1=preset=6,lc=0,lp=2,pb=0"} << text;
    QTest::newRow("small dictionary") << 5 << QStringList{"--lzma1=dict=4KiB"} << text;
    QTest::newRow("noise") << 10 << QStringList{} << pseudoRandom(60000, 7);
}

void TestCompression::decodesXzLzmaStreams()
{
    QFETCH(int, id);
    QFETCH(QStringList, options);
    QFETCH(QByteArray, data);
    QString error;
    // xz writes an unknown size and an end marker.
    const QByteArray payload = TTestSupport::filter("xz", QStringList{"--format=lzma", "-c"} + options, data, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QCOMPARE(payload.mid(5, 8), QByteArray(8, '\xff'));
    QCOMPARE(shared::decompressContainer(container(id, data.size(), payload)), data);
}

void TestCompression::encoderOutputReadableByTools()
{
    const QByteArray data = TTestSupport::text(250000, 8);
    QString error;
    const QByteArray lzip = TContainerEncoder::compressPayload(data, EContainerAlgorithm::Lzip);
    QCOMPARE(TTestSupport::filter("lzip", {"-d", "-c"}, lzip, &error), data);
    QVERIFY2(error.isEmpty(), qPrintable(error));

    // Known size in the header and no end marker.
    const QByteArray lzma = TContainerEncoder::compressPayload(data, EContainerAlgorithm::Lzma);
    QCOMPARE(lzma.mid(5, 8), TTestSupport::withLzmaSizeField(QByteArray(13, 0), quint64(data.size())).mid(5, 8));
    QCOMPARE(TTestSupport::filter("xz", {"-d", "-c", "--format=lzma"}, lzma, &error), data);
    QVERIFY2(error.isEmpty(), qPrintable(error));
}

void TestCompression::lzmaSizeFieldIsIgnored()
{
    const QByteArray data = TTestSupport::text(100000, 9);
    QString error;
    const QByteArray withMarker = TTestSupport::filter("xz", {"--format=lzma", "-c"}, data, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    const QByteArray withoutMarker = TContainerEncoder::compressPayload(data, EContainerAlgorithm::Lzma);
    for (const QByteArray& payload : {withMarker, withoutMarker}) {
        for (quint64 size : {quint64(1), quint64(data.size()), ~quint64(0), quint64(1) << 40}) {
            const QByteArray input = container(5, data.size(), TTestSupport::withLzmaSizeField(payload, size));
            QCOMPARE(shared::decompressContainer(input), data);
        }
    }
}

void TestCompression::rejectsInvalidLzmaHeaders()
{
    const QByteArray data = TTestSupport::text(5000, 10);
    QByteArray payload = TContainerEncoder::compressPayload(data, EContainerAlgorithm::Lzma);
    QVERIFY(!decodeFails(container(5, data.size(), payload)));

    QByteArray badProperties = payload;
    badProperties[0] = char(225);
    QVERIFY(decodeFails(container(5, data.size(), badProperties)));
    // lc + lp above 4 is beyond what the decoder library accepts; it must fail cleanly.
    QByteArray wideContext = payload;
    wideContext[0] = char(8 + 9 * 1);
    QVERIFY(decodeFails(container(5, data.size(), wideContext)));
    QVERIFY(decodeFails(container(5, data.size(), payload.left(17))));
    QVERIFY(decodeFails(container(10, data.size(), payload.left(13))));
}

void TestCompression::boundsTheOutput_data()
{
    QTest::addColumn<EContainerAlgorithm>("algorithm");
    QTest::newRow("stored") << EContainerAlgorithm::Stored;
    QTest::newRow("deflate") << EContainerAlgorithm::Deflate;
    QTest::newRow("lzip") << EContainerAlgorithm::Lzip;
    QTest::newRow("lzma") << EContainerAlgorithm::Lzma;
    QTest::newRow("zstd") << EContainerAlgorithm::Zstd;
}

void TestCompression::boundsTheOutput()
{
    QFETCH(EContainerAlgorithm, algorithm);
    const QByteArray data = TTestSupport::text(10000, 11);
    const QByteArray encoded = TContainerEncoder::encode(data, algorithm);
    QCOMPARE(shared::decompressContainer(encoded, data.size()), data);
    QCOMPARE(shared::decompressContainer(encoded, data.size() + 1), data);
    QVERIFY(decodeFails(encoded, data.size() - 1));
    QVERIFY(decodeFails(encoded, 0));

    // A small chunk claiming a gigabyte is refused before anything is allocated.
    TContainerHeader header;
    QCOMPARE(TContainerHeader::parse(encoded, header), TContainerHeader::EParseResult::Valid);
    const QByteArray payload = encoded.mid(int(header.payloadOffset));
    QVERIFY(decodeFails(container(algorithm, quint64(1) << 30, payload), 1 << 20));
}

void TestCompression::exactCapacityAcrossSizes()
{
    // The end of a stream may need decoding after the last byte fills the buffer exactly.
    const QByteArray text = TTestSupport::text(70000, 14);
    const QByteArray noise = pseudoRandom(70000, 15);
    for (int size : {1, 2, 3, 100, 257, 258, 259, 4095, 4096, 32767, 32768, 32769, 65535, 65536, 70000}) {
        for (const QByteArray& source : {text, noise}) {
            const QByteArray data = source.left(size);
            for (auto algorithm : {EContainerAlgorithm::Deflate, EContainerAlgorithm::Lzip, EContainerAlgorithm::Lzma,
                                   EContainerAlgorithm::Zstd}) {
                const QByteArray payload = TContainerEncoder::compressPayload(data, algorithm);
                QCOMPARE(shared::decompressContainer(container(algorithm, size, payload)), data);
                if (size > 1)
                    QVERIFY2(decodeFails(container(algorithm, size - 1, payload)),
                             qPrintable(QStringLiteral("size %1 algorithm %2 first %3")
                                            .arg(size)
                                            .arg(int(algorithm))
                                            .arg(int(source[0]))));
            }
        }
    }
}

void TestCompression::streamsLongerThanDeclaredFail_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("size");
    const QByteArray data = TTestSupport::text(20000, 12);
    QString error;
    const QByteArray xzPayload = TTestSupport::filter("xz", {"--format=lzma", "-c"}, data, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QTest::newRow("deflate") << 3 << TContainerEncoder::compressPayload(data, EContainerAlgorithm::Deflate)
                             << data.size();
    QTest::newRow("lzip") << 4 << TContainerEncoder::compressPayload(data, EContainerAlgorithm::Lzip) << data.size();
    QTest::newRow("lzma without end marker")
        << 5 << TContainerEncoder::compressPayload(data, EContainerAlgorithm::Lzma) << data.size();
    QTest::newRow("lzma with end marker") << 5 << xzPayload << data.size();
    QTest::newRow("zstd") << 7 << TContainerEncoder::compressPayload(data, EContainerAlgorithm::Zstd) << data.size();
    QTest::newRow("zstd without content size") << 7 << zstdToolFrame(data) << data.size();
}

void TestCompression::streamsLongerThanDeclaredFail()
{
    QFETCH(int, id);
    QFETCH(QByteArray, payload);
    QFETCH(int, size);
    QVERIFY(!decodeFails(container(id, size, payload)));
    QVERIFY(decodeFails(container(id, size - 1, payload)));
    QVERIFY(decodeFails(container(id, size / 2, payload)));
}

void TestCompression::streamsShorterThanDeclaredShrink_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QByteArray>("payload");
    const QByteArray data = TTestSupport::text(20000, 12);
    QString error;
    QTest::newRow("deflate") << 3 << TContainerEncoder::compressPayload(data, EContainerAlgorithm::Deflate);
    QTest::newRow("lzip") << 4 << TContainerEncoder::compressPayload(data, EContainerAlgorithm::Lzip);
    QTest::newRow("lzma with end marker") << 5 << TTestSupport::filter("xz", {"--format=lzma", "-c"}, data, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QTest::newRow("zstd without content size") << 7 << zstdToolFrame(data);
}

void TestCompression::streamsShorterThanDeclaredShrink()
{
    QFETCH(int, id);
    QFETCH(QByteArray, payload);
    const QByteArray data = TTestSupport::text(20000, 12);
    const QByteArray decoded = shared::decompressContainer(container(id, data.size() + 5000, payload));
    QCOMPARE(decoded, data);
}

void TestCompression::truncatedAndCorruptStreamsFail_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QByteArray>("payload");
    const QByteArray data = TTestSupport::text(50000, 13);
    const QByteArray deflate = TContainerEncoder::compressPayload(data, EContainerAlgorithm::Deflate);
    const QByteArray lzip = TContainerEncoder::compressPayload(data, EContainerAlgorithm::Lzip);
    const QByteArray lzma = TContainerEncoder::compressPayload(data, EContainerAlgorithm::Lzma);
    QTest::newRow("deflate truncated") << 3 << deflate.left(deflate.size() - 10);
    QTest::newRow("deflate half") << 3 << deflate.left(deflate.size() / 2);
    QTest::newRow("lzip truncated trailer") << 4 << lzip.left(lzip.size() - 4);
    QTest::newRow("lzip half") << 4 << lzip.left(lzip.size() / 2);
    QByteArray flipped = lzip;
    flipped[flipped.size() / 2] = char(flipped[flipped.size() / 2] ^ 0x20);
    QTest::newRow("lzip corrupt") << 4 << flipped;
    QByteArray badCrc = lzip;
    badCrc[badCrc.size() - 20] = char(badCrc[badCrc.size() - 20] ^ 0x01);
    QTest::newRow("lzip bad checksum") << 4 << badCrc;
    QTest::newRow("lzip bad magic") << 4 << QByteArray("LZIX") + lzip.mid(4);
    QTest::newRow("lzma half") << 5 << lzma.left(lzma.size() / 2);
    QTest::newRow("lzma header only") << 5 << lzma.left(18);

    const QByteArray zstd = TContainerEncoder::compressPayload(data, EContainerAlgorithm::Zstd);
    QTest::newRow("zstd truncated checksum") << 7 << zstd.left(zstd.size() - 2);
    QTest::newRow("zstd half") << 7 << zstd.left(zstd.size() / 2);
    QTest::newRow("zstd header only") << 7 << zstd.left(6);
    QByteArray zstdFlipped = zstd;
    zstdFlipped[zstd.size() / 2] = char(zstd[zstd.size() / 2] ^ 0x20);
    QTest::newRow("zstd corrupt") << 7 << zstdFlipped;
    QByteArray zstdBadChecksum = zstd;
    zstdBadChecksum[zstd.size() - 1] = char(zstd[zstd.size() - 1] ^ 0x01);
    QTest::newRow("zstd bad checksum") << 7 << zstdBadChecksum;
    QTest::newRow("zstd trailing data") << 7 << zstd + QByteArray("xyz");
    QTest::newRow("zstd content size below")
        << 7 << TContainerEncoder::compressPayload(data.left(49999), EContainerAlgorithm::Zstd);
    QTest::newRow("zstd content size above")
        << 7 << TContainerEncoder::compressPayload(data + 'x', EContainerAlgorithm::Zstd);
    QTest::newRow("zstd empty frame") << 7
                                      << TContainerEncoder::compressPayload(QByteArray(), EContainerAlgorithm::Zstd);
    // Each frame alone is valid and together they hold exactly the data: only one frame is allowed.
    QTest::newRow("zstd two frames") << 7 << zstdToolFrame(data.left(20000)) + zstdToolFrame(data.mid(20000));
    QTest::newRow("zstd skippable frame first") << 7 << hex("502a4d1804000000") + "skip" + zstd;
    QTest::newRow("zstd window above the chunk") << 7 << zstdToolFrame(data, {"--long=27"});
    QTest::newRow("zstd legacy magic") << 7 << hex("24b52ffd") + zstd.mid(4);
}

void TestCompression::truncatedAndCorruptStreamsFail()
{
    QFETCH(int, id);
    QFETCH(QByteArray, payload);
    QVERIFY(decodeFails(container(id, 50000, payload)));
}

void TestCompression::zstdWindowLimitFollowsTheChunk_data()
{
    QTest::addColumn<int>("size");
    QTest::addColumn<int>("windowLog");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("small chunk, floor window") << 70000 << 20 << true;
    QTest::newRow("small chunk, window above the floor") << 70000 << 21 << false;
    QTest::newRow("2 MiB chunk, 2 MiB window") << 2 << 21 << true;
    QTest::newRow("2 MiB chunk, 4 MiB window") << 2 << 22 << false;
}

void TestCompression::zstdWindowLimitFollowsTheChunk()
{
    QFETCH(int, size);
    QFETCH(int, windowLog);
    QFETCH(bool, accepted);
    const int bytes = size < 1000 ? size << 20 : size;
    const QByteArray data = TTestSupport::text(bytes, 16);
    // A stream from standard input has no content size, so the frame header carries the window.
    const QByteArray frame = zstdToolFrame(data, {"-1", QStringLiteral("--zstd=wlog=%1").arg(windowLog)});
    QCOMPARE(decodeFails(container(EContainerAlgorithm::Zstd, bytes, frame)), !accepted);
    if (accepted)
        QCOMPARE(shared::decompressContainer(container(EContainerAlgorithm::Zstd, bytes, frame)), data);
}

void TestCompression::zstdFuzzInvariantsHoldForMutatedSeeds()
{
    const QList<QByteArray> seeds = zstdContainerSeeds();
    QVERIFY(seeds.size() > 3);
    for (const QByteArray& seed : seeds) {
        QByteArray output;
        QCOMPARE(TContainerDecoder::decode(seed, output), TContainerDecoder::EResult::Decoded);
        QCOMPARE(checkZstdContainerInput(seed), QString());
        const int step = std::max(1, seed.size() / 97);
        for (int position = 0; position < seed.size(); position += step) {
            QByteArray flipped = seed;
            flipped[position] = char(flipped[position] ^ (1 << (position % 8)));
            QCOMPARE(checkZstdContainerInput(flipped), QString());
            QCOMPARE(checkZstdContainerInput(seed.left(position)), QString());
        }
    }
}

void TestCompression::survivesRandomPayloads()
{
    // Decoders must reject garbage without reading or writing out of bounds (run under ASan).
    int failures = 0;
    int runs = 0;
    for (int id : {3, 4, 5, 7, 10}) {
        for (quint32 seed = 1; seed <= 60; ++seed) {
            QByteArray payload = pseudoRandom(int(20 + seed * 7), seed * 31 + quint32(id));
            if (id == 5 || id == 10)
                payload[0] = char(0x5d);
            if (id == 4)
                payload.replace(0, 6, QByteArray("LZIP\x01\x0c", 6));
            if (id == 7)
                payload.replace(0, 4, hex("28b52ffd"));
            QByteArray output;
            const auto result = TContainerDecoder::decode(container(id, 4096, payload), output);
            ++runs;
            if (result == TContainerDecoder::EResult::Failed)
                ++failures;
            else
                QVERIFY(output.size() <= 4096);
        }
    }
    QVERIFY(failures > runs / 2);
}

void TestCompression::hugeDeclaredSizeReservesNoResidentMemory_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("decodes");
    const QByteArray data = TTestSupport::text(100000, 17);
    QString error;
    const QByteArray xzPayload = TTestSupport::filter("xz", {"--format=lzma", "-c"}, data, &error);
    QVERIFY2(error.isEmpty(), qPrintable(error));
    QByteArray wideDictionary = xzPayload;
    wideDictionary.replace(1, 4, hex("ffffffff"));
    QTest::newRow("deflate") << 3 << TContainerEncoder::compressPayload(data, EContainerAlgorithm::Deflate) << true;
    QTest::newRow("lzip") << 4 << TContainerEncoder::compressPayload(data, EContainerAlgorithm::Lzip) << true;
    QTest::newRow("lzma") << 5 << xzPayload << true;
    QTest::newRow("lzma with a 4 GiB dictionary") << 5 << wideDictionary << true;
    QTest::newRow("zstd") << 7 << zstdToolFrame(data) << true;
    // Declares the whole buffer but ends after 8 MiB of runs: the library fails at the frame's end.
    const auto declared = quint32(TContainerDecoder::maxByteArraySize());
    QTest::newRow("zstd runs shorter than declared") << 7 << zstdRunFrame(declared, 64) << false;
}

void TestCompression::hugeDeclaredSizeReservesNoResidentMemory()
{
    QFETCH(int, id);
    QFETCH(QByteArray, payload);
    QFETCH(bool, decodes);
#ifdef QUENMAR_ADDRESS_SANITIZER
    QSKIP("the sanitizer's shadow of a buffer is resident even where the buffer is not");
#endif
    const QByteArray input = container(id, quint64(TContainerDecoder::maxByteArraySize()), payload);
    QVERIFY(resetPeakResidentMemory());
    const qint64 before = statusKiB("VmRSS");
    QByteArray output;
    const auto result = TContainerDecoder::decode(input, output);
    const qint64 growth = statusKiB("VmHWM") - before;
    QCOMPARE(result, decodes ? TContainerDecoder::EResult::Decoded : TContainerDecoder::EResult::Failed);
    if (decodes)
        QCOMPARE(output, TTestSupport::text(100000, 17));
    QVERIFY2(growth < 64 * 1024, qPrintable(QStringLiteral("peak grew by %1 KiB").arg(growth)));
}

QTEST_GUILESS_MAIN(TestCompression)
#include "tst_compression.moc"
