#include "TDecompressor.h"

#include "zpaq/TZpaqDecoder.h"

#include "EContainerAlgorithm.h"
#include "TZstdDecoder.h"

#include <lzlib.h>
#include <lzma.h>
#include <zlib.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <memory>

namespace shared {

namespace {

constexpr std::size_t LzmaHeaderSize = 13;
constexpr std::size_t LzmaMinPayloadSize = 18;
constexpr unsigned LzmaMaxPropertiesByte = 224;
constexpr std::uint32_t LzmaMinDictionarySize = 4096;

// zlib and lzlib count in 32-bit and int quantities; larger buffers are fed in steps of this size.
constexpr std::size_t MaxStep = 1u << 30;

struct InflateStream
{
    z_stream stream{};
    bool initialised = false;
    ~InflateStream()
    {
        if (initialised)
            inflateEnd(&stream);
    }
};

struct LzipDecoder
{
    LZ_Decoder* decoder = LZ_decompress_open();
    ~LzipDecoder() { LZ_decompress_close(decoder); }
};

struct LzmaStream
{
    lzma_stream stream = LZMA_STREAM_INIT;
    ~LzmaStream() { lzma_end(&stream); }
};

std::uint32_t readLittleEndian32(const std::uint8_t* bytes)
{
    return std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 | std::uint32_t(bytes[2]) << 16 |
           std::uint32_t(bytes[3]) << 24;
}

/// Runs a raw LZMA1 decoder over the whole input in one call; outputLength is the capacity on
/// entry and the number of bytes produced on return, inputLeft the input the decoder did not need.
lzma_ret decodeLzma1(const lzma_options_lzma& options, const std::uint8_t* input, std::size_t inputLength,
                     std::uint8_t* output, std::size_t& outputLength, std::size_t& inputLeft)
{
    const lzma_filter filters[] = {{LZMA_FILTER_LZMA1EXT, const_cast<lzma_options_lzma*>(&options)},
                                   {LZMA_VLI_UNKNOWN, nullptr}};
    LzmaStream lzma;
    const lzma_ret init = lzma_raw_decoder(&lzma.stream, filters);
    if (init != LZMA_OK) {
        outputLength = 0;
        inputLeft = inputLength;
        return init;
    }
    lzma_stream& stream = lzma.stream;
    stream.next_in = input;
    stream.avail_in = inputLength;
    stream.next_out = output;
    stream.avail_out = outputLength;
    const lzma_ret result = lzma_code(&stream, LZMA_FINISH);
    outputLength = static_cast<std::size_t>(stream.total_out);
    inputLeft = stream.avail_in;
    return result;
}

} // namespace

bool TDecompressor::isSupported(int algorithmId)
{
    switch (static_cast<EContainerAlgorithm>(algorithmId)) {
    case EContainerAlgorithm::Stored:
    case EContainerAlgorithm::Deflate:
    case EContainerAlgorithm::Lzip:
    case EContainerAlgorithm::Lzma:
    case EContainerAlgorithm::LzmaAlias:
    case EContainerAlgorithm::Zpaq:
    case EContainerAlgorithm::Zstd:
        return true;
    default:
        return false;
    }
}

bool TDecompressor::unpack(int algorithmId, const std::uint8_t* payload, std::size_t payloadLength,
                           std::uint8_t* output, std::size_t& outputLength)
{
    if (payload == nullptr || payloadLength == 0 || output == nullptr || outputLength == 0)
        return false;
    switch (algorithmId) {
    case int(EContainerAlgorithm::Stored):
        return unpackStored(payload, payloadLength, output, outputLength);
    case int(EContainerAlgorithm::Deflate):
        return unpackDeflate(payload, payloadLength, output, outputLength);
    case int(EContainerAlgorithm::Lzip):
        return unpackLzip(payload, payloadLength, output, outputLength);
    case int(EContainerAlgorithm::Lzma):
    case int(EContainerAlgorithm::LzmaAlias):
        return unpackLzma(payload, payloadLength, output, outputLength);
    case int(EContainerAlgorithm::Zpaq):
        return unpackZpaq(payload, payloadLength, output, outputLength);
    case int(EContainerAlgorithm::Zstd):
        return unpackZstd(payload, payloadLength, output, outputLength);
    default:
        return false;
    }
}

bool TDecompressor::unpackStored(const std::uint8_t* payload, std::size_t payloadLength, std::uint8_t* output,
                                 std::size_t& outputLength)
{
    if (payloadLength > outputLength)
        return false;
    std::memcpy(output, payload, payloadLength);
    outputLength = payloadLength;
    return true;
}

bool TDecompressor::unpackDeflate(const std::uint8_t* payload, std::size_t payloadLength, std::uint8_t* output,
                                  std::size_t& outputLength)
{
    InflateStream inflater;
    // Negative window bits: a bare DEFLATE stream without zlib or gzip framing.
    if (inflateInit2(&inflater.stream, -MAX_WBITS) != Z_OK)
        return false;
    inflater.initialised = true;
    z_stream& stream = inflater.stream;

    std::size_t inPos = 0;
    std::size_t outPos = 0;
    // Once the output is full, one spare byte tells a stream that is complete (its end-of-block
    // code still to be read) from one that would overflow the capacity.
    std::uint8_t spill = 0;
    bool probing = false;
    for (;;) {
        if (stream.avail_in == 0 && inPos < payloadLength) {
            const std::size_t step = std::min(MaxStep, payloadLength - inPos);
            stream.next_in = const_cast<Bytef*>(payload + inPos);
            stream.avail_in = static_cast<uInt>(step);
            inPos += step;
        }
        if (stream.avail_out == 0) {
            if (probing)
                return false;
            if (outPos < outputLength) {
                const std::size_t step = std::min(MaxStep, outputLength - outPos);
                stream.next_out = output + outPos;
                stream.avail_out = static_cast<uInt>(step);
                outPos += step;
            } else {
                stream.next_out = &spill;
                stream.avail_out = 1;
                probing = true;
            }
        }
        const bool inputDone = inPos == payloadLength;
        const int result = inflate(&stream, inputDone ? Z_FINISH : Z_NO_FLUSH);
        if (result == Z_STREAM_END) {
            if (probing && stream.avail_out == 0)
                return false;
            outputLength = static_cast<std::size_t>(stream.total_out);
            return true;
        }
        // Z_BUF_ERROR with all input consumed: the stream ends before its last block.
        if (result != Z_OK && (result != Z_BUF_ERROR || (inputDone && stream.avail_in == 0)))
            return false;
    }
}

bool TDecompressor::unpackLzip(const std::uint8_t* payload, std::size_t payloadLength, std::uint8_t* output,
                               std::size_t& outputLength)
{
    LzipDecoder lzip;
    LZ_Decoder* decoder = lzip.decoder;
    if (decoder == nullptr || LZ_decompress_errno(decoder) != LZ_ok)
        return false;

    std::size_t inPos = 0;
    std::size_t outPos = 0;
    bool finishSent = false;
    while (LZ_decompress_finished(decoder) != 1) {
        bool progress = false;
        if (inPos < payloadLength) {
            const int room = LZ_decompress_write_size(decoder);
            const auto step = static_cast<int>(std::min<std::size_t>(std::max(room, 0), payloadLength - inPos));
            if (step > 0) {
                const int written = LZ_decompress_write(decoder, payload + inPos, step);
                if (written < 0)
                    return false;
                inPos += static_cast<std::size_t>(written);
                progress = progress || written > 0;
            }
        }
        if (inPos == payloadLength && !finishSent) {
            LZ_decompress_finish(decoder);
            finishSent = true;
            progress = true;
        }
        std::uint8_t spill = 0;
        // Once the output is full, one more byte of output means the stream is larger than allowed.
        const bool full = outPos == outputLength;
        const int want = full ? 1 : static_cast<int>(std::min(MaxStep, outputLength - outPos));
        const int produced = LZ_decompress_read(decoder, full ? &spill : output + outPos, want);
        if (produced < 0 || (full && produced > 0))
            return false;
        outPos += static_cast<std::size_t>(produced);
        progress = progress || produced > 0;
        if (!progress)
            return false;
    }
    outputLength = outPos;
    return true;
}

bool TDecompressor::unpackLzma(const std::uint8_t* payload, std::size_t payloadLength, std::uint8_t* output,
                               std::size_t& outputLength)
{
    if (payloadLength < LzmaMinPayloadSize || payload[0] > LzmaMaxPropertiesByte)
        return false;

    unsigned properties = payload[0];
    lzma_options_lzma options{};
    options.lc = properties % 9;
    properties /= 9;
    options.lp = properties % 5;
    options.pb = properties / 5;
    // Distances never reach beyond the output, so a dictionary larger than the capacity only costs
    // memory; a hostile header cannot make the decoder reserve gigabytes for a small chunk.
    const std::uint64_t headerDictionary = std::max(readLittleEndian32(payload + 1), LzmaMinDictionarySize);
    const std::uint64_t neededDictionary = std::max<std::uint64_t>(outputLength, LzmaMinDictionarySize);
    options.dict_size = static_cast<std::uint32_t>(std::min(headerDictionary, neededDictionary));

    // The header's own size field is ignored: the capacity is taken as the size, which decodes
    // streams with and without an end marker. An end marker before that size means the stream is
    // shorter than declared; only then is it decoded again, up to its end marker.
    options.ext_flags = LZMA_LZMA1EXT_ALLOW_EOPM;
    lzma_set_ext_size(options, static_cast<std::uint64_t>(outputLength));
    const std::uint8_t* stream = payload + LzmaHeaderSize;
    const std::size_t streamLength = payloadLength - LzmaHeaderSize;
    std::size_t produced = outputLength;
    std::size_t left = 0;
    lzma_ret result = decodeLzma1(options, stream, streamLength, output, produced, left);
    // The decoder stops at the given size; unread input then means the stream holds more data.
    if (result == LZMA_STREAM_END && left > 0)
        return false;
    if (result == LZMA_DATA_ERROR && produced < outputLength) {
        lzma_set_ext_size(options, UINT64_MAX);
        produced = outputLength;
        result = decodeLzma1(options, stream, streamLength, output, produced, left);
    }
    if (result != LZMA_STREAM_END)
        return false;
    outputLength = produced;
    return true;
}

bool TDecompressor::unpackZpaq(const std::uint8_t* payload, std::size_t payloadLength, std::uint8_t* output,
                               std::size_t& outputLength)
{
    return TZpaqDecoder::decode(payload, payloadLength, output, outputLength);
}

bool TDecompressor::unpackZstd(const std::uint8_t* payload, std::size_t payloadLength, std::uint8_t* output,
                               std::size_t& outputLength)
{
    return TZstdDecoder::decode(payload, payloadLength, output, outputLength);
}

} // namespace shared
