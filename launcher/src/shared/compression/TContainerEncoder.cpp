#include "TContainerEncoder.h"

#include "TContainerHeader.h"
#include "ZstdContexts.h"

#include <lzlib.h>
#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <memory>
#include <stdexcept>

namespace shared {

namespace {

constexpr std::uint32_t MinDictionarySize = 4096;

struct LzipLevel
{
    int dictionarySize;
    int matchLengthLimit;
};

// The dictionary size and match length limit of the lzip tool's -0 .. -9.
constexpr LzipLevel LzipLevels[10] = {{65535, 16},   {1 << 20, 5},  {3 << 19, 6},  {1 << 21, 8},   {3 << 20, 12},
                                      {1 << 22, 20}, {1 << 23, 36}, {1 << 24, 68}, {3 << 23, 132}, {1 << 25, 273}};
constexpr unsigned long long LzipMaxMemberSize = 0x0008000000000000ULL;

struct LzipEncoder
{
    LZ_Encoder* encoder = nullptr;
    ~LzipEncoder() { LZ_compress_close(encoder); }
};

struct LzmaStream
{
    lzma_stream stream = LZMA_STREAM_INIT;
    ~LzmaStream() { lzma_end(&stream); }
};

constexpr int ZstdMinLevel = 1;
constexpr int ZstdMaxLevel = 19;

int clampLevel(int level, int defaultLevel, int minLevel = 0, int maxLevel = 9)
{
    return level < 0 ? defaultLevel : std::clamp(level, minLevel, maxLevel);
}

void appendLittleEndian(QByteArray& out, std::uint64_t value, int bytes)
{
    for (int index = 0; index < bytes; ++index)
        out.append(static_cast<char>((value >> (8 * index)) & 0xFF));
}

/// The smallest size of the form 2^n or 2^n + 2^(n-1) that holds size: other dictionary sizes
/// make common .lzma readers refuse the header.
std::uint32_t roundDictionarySize(std::uint32_t size)
{
    std::uint32_t candidate = MinDictionarySize;
    while (candidate < size) {
        const std::uint32_t between = candidate + candidate / 2;
        if (between >= size)
            return between;
        candidate *= 2;
    }
    return candidate;
}

[[noreturn]] void fail(const char* what)
{
    throw std::runtime_error(std::string("Compression failed: ") + what);
}

} // namespace

QByteArray TContainerEncoder::encode(const QByteArray& data, EContainerAlgorithm algorithm, int level)
{
    if (data.isEmpty())
        return {};
    const QByteArray payload = compressPayload(data, algorithm, level);
    TContainerHeader header;
    header.algorithmId = static_cast<quint8>(algorithm);
    header.unpackedSize = static_cast<quint64>(data.size());
    header.packedSize = static_cast<quint64>(payload.size());
    QByteArray container = header.toBytes();
    container.reserve(container.size() + payload.size());
    container.append(payload);
    return container;
}

QByteArray TContainerEncoder::compressPayload(const QByteArray& data, EContainerAlgorithm algorithm, int level)
{
    switch (algorithm) {
    case EContainerAlgorithm::Stored:
        return data;
    case EContainerAlgorithm::Deflate:
        return deflateRaw(data, clampLevel(level, 9));
    case EContainerAlgorithm::Lzip:
        return lzipMember(data, clampLevel(level, 6));
    case EContainerAlgorithm::Lzma:
    case EContainerAlgorithm::LzmaAlias:
        return lzmaAlone(data, clampLevel(level, 6));
    case EContainerAlgorithm::Zstd:
        return zstdFrame(data, clampLevel(level, ZstdMaxLevel, ZstdMinLevel, ZstdMaxLevel));
    default:
        throw std::runtime_error("No encoder for container algorithm " + std::to_string(int(algorithm)));
    }
}

int TContainerEncoder::minLevel(EContainerAlgorithm algorithm)
{
    return algorithm == EContainerAlgorithm::Zstd ? ZstdMinLevel : 0;
}

int TContainerEncoder::maxLevel(EContainerAlgorithm algorithm)
{
    return algorithm == EContainerAlgorithm::Zstd ? ZstdMaxLevel : 9;
}

QByteArray TContainerEncoder::deflateRaw(const QByteArray& data, int level)
{
    z_stream stream{};
    if (deflateInit2(&stream, level, Z_DEFLATED, -MAX_WBITS, 9, Z_DEFAULT_STRATEGY) != Z_OK)
        fail("deflateInit2");
    QByteArray out(static_cast<int>(deflateBound(&stream, static_cast<uLong>(data.size()))), Qt::Uninitialized);
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = reinterpret_cast<Bytef*>(out.data());
    stream.avail_out = static_cast<uInt>(out.size());
    const int result = deflate(&stream, Z_FINISH);
    const auto produced = static_cast<int>(stream.total_out);
    deflateEnd(&stream);
    if (result != Z_STREAM_END)
        fail("deflate");
    out.resize(produced);
    return out;
}

QByteArray TContainerEncoder::lzipMember(const QByteArray& data, int level)
{
    const LzipLevel options = LzipLevels[level];
    // Like the lzip tool, never reserve a dictionary larger than the data needs.
    const int dictionarySize = std::max(std::min(options.dictionarySize, data.size()), LZ_min_dictionary_size());
    LzipEncoder lzip;
    lzip.encoder = LZ_compress_open(dictionarySize, options.matchLengthLimit, LzipMaxMemberSize);
    if (lzip.encoder == nullptr || LZ_compress_errno(lzip.encoder) != LZ_ok)
        fail("LZ_compress_open");

    QByteArray out;
    out.reserve(data.size() / 2 + 64);
    QByteArray block(1 << 16, Qt::Uninitialized);
    int inPos = 0;
    bool finishSent = false;
    while (LZ_compress_finished(lzip.encoder) != 1) {
        if (inPos < data.size()) {
            const int step = std::min(LZ_compress_write_size(lzip.encoder), data.size() - inPos);
            const int written =
                step > 0
                    ? LZ_compress_write(lzip.encoder, reinterpret_cast<const uint8_t*>(data.constData() + inPos), step)
                    : 0;
            if (written < 0)
                fail("LZ_compress_write");
            inPos += written;
        }
        if (inPos == data.size() && !finishSent) {
            LZ_compress_finish(lzip.encoder);
            finishSent = true;
        }
        const int produced = LZ_compress_read(lzip.encoder, reinterpret_cast<uint8_t*>(block.data()), block.size());
        if (produced < 0)
            fail("LZ_compress_read");
        out.append(block.constData(), produced);
    }
    return out;
}

QByteArray TContainerEncoder::lzmaAlone(const QByteArray& data, int level)
{
    lzma_options_lzma options{};
    if (lzma_lzma_preset(&options, static_cast<uint32_t>(level)))
        fail("lzma_lzma_preset");
    options.dict_size = std::min(options.dict_size, roundDictionarySize(static_cast<std::uint32_t>(data.size())));
    // No end marker: the header carries the real size, the classic form of a .lzma file.
    options.ext_flags = 0;
    lzma_set_ext_size(options, static_cast<std::uint64_t>(data.size()));
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, &options}, {LZMA_VLI_UNKNOWN, nullptr}};

    LzmaStream lzma;
    if (lzma_raw_encoder(&lzma.stream, filters) != LZMA_OK)
        fail("lzma_raw_encoder");

    QByteArray out;
    out.reserve(data.size() / 2 + 64);
    out.append(static_cast<char>((options.pb * 5 + options.lp) * 9 + options.lc));
    appendLittleEndian(out, options.dict_size, 4);
    appendLittleEndian(out, static_cast<std::uint64_t>(data.size()), 8);

    lzma_stream& stream = lzma.stream;
    stream.next_in = reinterpret_cast<const uint8_t*>(data.constData());
    stream.avail_in = static_cast<std::size_t>(data.size());
    QByteArray block(1 << 20, Qt::Uninitialized);
    for (;;) {
        stream.next_out = reinterpret_cast<uint8_t*>(block.data());
        stream.avail_out = static_cast<std::size_t>(block.size());
        const lzma_ret result = lzma_code(&stream, LZMA_FINISH);
        out.append(block.constData(), block.size() - static_cast<int>(stream.avail_out));
        if (result == LZMA_STREAM_END)
            return out;
        if (result != LZMA_OK)
            fail("lzma_code");
    }
}

QByteArray TContainerEncoder::zstdFrame(const QByteArray& data, int level)
{
    const TZstdCompressionContext context(ZSTD_createCCtx());
    if (!context)
        fail("ZSTD_createCCtx");
    ZSTD_CCtx* const cctx = context.get();
    if (ZSTD_isError(ZSTD_CCtx_setParameter(cctx, ZSTD_c_compressionLevel, level)) ||
        ZSTD_isError(ZSTD_CCtx_setParameter(cctx, ZSTD_c_checksumFlag, 1)) ||
        ZSTD_isError(ZSTD_CCtx_setParameter(cctx, ZSTD_c_contentSizeFlag, 1)))
        fail("ZSTD_CCtx_setParameter");
    const auto size = static_cast<std::size_t>(data.size());
    QByteArray out(static_cast<int>(ZSTD_compressBound(size)), Qt::Uninitialized);
    const std::size_t produced =
        ZSTD_compress2(cctx, out.data(), static_cast<std::size_t>(out.size()), data.constData(), size);
    if (ZSTD_isError(produced))
        fail("ZSTD_compress2");
    out.resize(static_cast<int>(produced));
    return out;
}

} // namespace shared
