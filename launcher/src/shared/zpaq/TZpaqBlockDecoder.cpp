#include "TZpaqBlockDecoder.h"

#include "TZpaqArithmeticDecoder.h"
#include "TZpaqByteReader.h"
#include "TZpaqFormatError.h"
#include "TZpaqLimits.h"
#include "TZpaqMemoryBudget.h"
#include "TZpaqOutputBuffer.h"
#include "TZpaqPostProcessor.h"
#include "TZpaqPredictor.h"

#include <openssl/evp.h>

#include <cstring>
#include <memory>
#include <vector>

namespace shared {

namespace {

constexpr int kSegmentStart = 1;
constexpr int kBlockEnd = 255;
constexpr int kDigestFollows = 253;
constexpr int kNoDigest = 254;
constexpr std::size_t kDigestSize = 20;
// Room for a post-processor program (type, length, code) on top of the data itself.
constexpr std::uint64_t kPostProcessorHeaderBytes = 3 + 65535;

} // namespace

TZpaqBlockDecoder::TZpaqBlockDecoder(TZpaqByteReader& input, TZpaqOutputBuffer& output, const TZpaqLimits& limits)
    : m_input(input), m_output(output), m_limits(limits)
{
    const std::uint64_t capacity = output.capacity();
    const std::uint64_t factor = limits.decodedPerOutputByte;
    m_decodedLimit = factor != 0 && capacity > (UINT64_MAX - kPostProcessorHeaderBytes) / factor
                         ? UINT64_MAX
                         : factor * capacity + kPostProcessorHeaderBytes;
}

bool TZpaqBlockDecoder::isBlockStart(const unsigned char* data, std::size_t size, std::size_t position)
{
    if (position > size || size - position < 5)
        return false;
    const unsigned char* p = data + position;
    return p[0] == 'z' && p[1] == 'P' && p[2] == 'Q' && (p[3] == 1 || p[3] == 2) && p[4] == 1;
}

void TZpaqBlockDecoder::decode()
{
    if (!isBlockStart(m_input.data(), m_input.size(), m_input.position()))
        throw TZpaqFormatError("no block header");
    m_input.seek(m_input.position() + 5);
    const std::size_t sizeLow = static_cast<std::size_t>(m_input.require());
    const std::size_t headerSize = sizeLow | static_cast<std::size_t>(m_input.require()) << 8;
    if (headerSize < 7 || m_input.size() - m_input.position() < headerSize)
        throw TZpaqFormatError("bad block header size");
    // Copy the header: the context program must stay valid while the reader moves on.
    const std::vector<unsigned char> header(m_input.data() + m_input.position(),
                                            m_input.data() + m_input.position() + headerSize);
    m_input.seek(m_input.position() + headerSize);

    const unsigned hashArrayBits = header[0];
    const unsigned memoryArrayBits = header[1];
    const unsigned postHashArrayBits = header[2];
    const unsigned postMemoryArrayBits = header[3];
    const std::size_t componentCount = header[4];
    std::size_t position = 5;
    for (std::size_t i = 0; i < componentCount; ++i) {
        const std::size_t size = TZpaqPredictor::descriptionSize(header[position]);
        if (size == 0)
            throw TZpaqFormatError("unknown component type");
        position += size;
        if (position >= headerSize)
            throw TZpaqFormatError("component list overruns the header");
    }
    if (header[position] != 0 || header[headerSize - 1] != 0 || position + 1 > headerSize - 1)
        throw TZpaqFormatError("malformed block header");
    const unsigned char* hcomp = header.data() + position + 1;
    const std::size_t hcompSize = headerSize - 1 - (position + 1);

    TZpaqMemoryBudget budget(m_limits.maxBlockMemory);
    std::unique_ptr<TZpaqPredictor> predictor;
    if (componentCount > 0)
        predictor = std::make_unique<TZpaqPredictor>(header.data() + 5, componentCount, hcomp, hcompSize, hashArrayBits,
                                                     memoryArrayBits, m_limits, budget);
    TZpaqPostProcessor postProcessor(postHashArrayBits, postMemoryArrayBits, m_output, m_limits, budget);

    for (;;) {
        const int marker = m_input.require();
        if (marker == kBlockEnd)
            break;
        if (marker != kSegmentStart)
            throw TZpaqFormatError("bad segment marker");
        m_input.skipString(); // file name
        m_input.skipString(); // comment
        if (m_input.require() != 0)
            throw TZpaqFormatError("reserved byte is not zero");
        const std::size_t segmentStart = m_output.size();
        decodeSegmentData(predictor.get(), postProcessor);
        postProcessor.endOfSegment();
        checkSegmentEnd(segmentStart);
    }
}

void TZpaqBlockDecoder::decodeSegmentData(TZpaqPredictor* predictor, TZpaqPostProcessor& postProcessor)
{
    if (predictor == nullptr) {
        // Stored: runs of bytes, each behind a big-endian 32-bit length, closed by a zero length.
        for (;;) {
            const std::uint32_t length = m_input.requireBigEndian32();
            if (length == 0)
                return;
            if (m_input.size() - m_input.position() < length)
                throw TZpaqFormatError("stored data truncated");
            countDecodedBytes(length);
            postProcessor.write(m_input.data() + m_input.position(), length);
            m_input.seek(m_input.position() + length);
        }
    }
    TZpaqArithmeticDecoder coder(m_input);
    coder.startSegment();
    // The post-processor does not feed back into the model, so it may take the bytes in batches.
    unsigned char pending[4096];
    std::size_t count = 0;
    while (!coder.decodeEndOfSegment()) {
        pending[count++] = static_cast<unsigned char>(predictor->decodeByte(coder));
        if (count == sizeof(pending)) {
            countDecodedBytes(count);
            postProcessor.write(pending, count);
            count = 0;
        }
    }
    countDecodedBytes(count);
    postProcessor.write(pending, count);
}

void TZpaqBlockDecoder::countDecodedBytes(std::size_t count)
{
    m_decodedBytes += count;
    if (m_decodedBytes > m_decodedLimit)
        throw TZpaqFormatError("block decodes to far more data than the output can hold");
}

void TZpaqBlockDecoder::checkSegmentEnd(std::size_t segmentStart)
{
    const int trailer = m_input.require();
    if (trailer == kNoDigest)
        return;
    if (trailer != kDigestFollows)
        throw TZpaqFormatError("bad segment trailer");
    if (m_input.size() - m_input.position() < kDigestSize)
        throw TZpaqFormatError("truncated segment digest");
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int digestSize = 0;
    if (EVP_Digest(m_output.data() + segmentStart, m_output.size() - segmentStart, digest, &digestSize, EVP_sha1(),
                   nullptr) != 1 ||
        digestSize != kDigestSize)
        throw TZpaqFormatError("SHA-1 unavailable");
    if (std::memcmp(digest, m_input.data() + m_input.position(), kDigestSize) != 0)
        throw TZpaqFormatError("SHA-1 mismatch");
    m_input.seek(m_input.position() + kDigestSize);
}

} // namespace shared
