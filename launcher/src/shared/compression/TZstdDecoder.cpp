#include "TZstdDecoder.h"

#include "ZstdContexts.h"

#include <zstd.h>

#include <memory>

namespace shared {

namespace {

constexpr std::uint32_t FrameMagic = 0xFD2FB528u;
constexpr std::size_t MagicSize = 4;
constexpr std::uint8_t SingleSegmentFlag = 0x20;
constexpr unsigned WindowLogBase = 10;
constexpr unsigned MaxWindowLog = 63;

std::uint32_t readLittleEndian32(const std::uint8_t* bytes)
{
    return std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 | std::uint32_t(bytes[2]) << 16 |
           std::uint32_t(bytes[3]) << 24;
}

} // namespace

std::uint64_t TZstdDecoder::maxWindowSize(std::size_t capacity)
{
    unsigned log = MinWindowLog;
    while (log < MaxWindowLog && (std::uint64_t(1) << log) < capacity)
        ++log;
    return std::uint64_t(1) << log;
}

std::uint64_t TZstdDecoder::windowSize(const std::uint8_t* frame, std::size_t length)
{
    if (length < MagicSize + 2 || readLittleEndian32(frame) != FrameMagic)
        return 0;
    const std::uint8_t descriptor = frame[MagicSize];
    if ((descriptor & SingleSegmentFlag) != 0) {
        // A single-segment frame has no window field: its window is its content size.
        const unsigned long long contentSize = ZSTD_getFrameContentSize(frame, length);
        return contentSize == ZSTD_CONTENTSIZE_ERROR || contentSize == ZSTD_CONTENTSIZE_UNKNOWN ? 0 : contentSize;
    }
    const std::uint8_t window = frame[MagicSize + 1];
    const unsigned exponent = WindowLogBase + (window >> 3);
    const std::uint64_t base = std::uint64_t(1) << exponent;
    return base + (base >> 3) * (window & 7u);
}

bool TZstdDecoder::decode(const std::uint8_t* payload, std::size_t payloadLength, std::uint8_t* output,
                          std::size_t& outputLength)
{
    // One frame and nothing else: a truncated frame, a second frame or trailing bytes all fail here.
    if (ZSTD_findFrameCompressedSize(payload, payloadLength) != payloadLength)
        return false;
    const unsigned long long contentSize = ZSTD_getFrameContentSize(payload, payloadLength);
    if (contentSize == ZSTD_CONTENTSIZE_ERROR ||
        (contentSize != ZSTD_CONTENTSIZE_UNKNOWN && contentSize != outputLength))
        return false;
    const std::uint64_t window = windowSize(payload, payloadLength);
    if (window == 0 || window > maxWindowSize(outputLength))
        return false;

    const TZstdDecompressionContext context(ZSTD_createDCtx());
    if (!context)
        return false;
    // One pass into the output: the library checks the checksum, the content size against the
    // frame header and never writes beyond the capacity.
    const std::size_t produced = ZSTD_decompressDCtx(context.get(), output, outputLength, payload, payloadLength);
    if (ZSTD_isError(produced))
        return false;
    outputLength = produced;
    return true;
}

} // namespace shared
