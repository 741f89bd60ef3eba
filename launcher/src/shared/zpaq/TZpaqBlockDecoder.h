#pragma once

#include <cstddef>
#include <cstdint>

namespace shared {

class TZpaqByteReader;
class TZpaqOutputBuffer;
class TZpaqPostProcessor;
class TZpaqPredictor;
struct TZpaqLimits;

/// Decodes one block: its header (memory sizes, model components, context program), then each
/// segment's data through the model or as stored runs, the post-processor, and the optional
/// SHA-1 that closes a segment.
class TZpaqBlockDecoder
{
public:
    TZpaqBlockDecoder(TZpaqByteReader& input, TZpaqOutputBuffer& output, const TZpaqLimits& limits);

    /// Decodes the block whose "zPQ" marker is at the reader's position and leaves the reader
    /// after the block's end marker. Throws TZpaqFormatError on any fault.
    void decode();

    /// True when a block marker with a supported level starts at data[position].
    static bool isBlockStart(const unsigned char* data, std::size_t size, std::size_t position);

private:
    void decodeSegmentData(TZpaqPredictor* predictor, TZpaqPostProcessor& postProcessor);
    void checkSegmentEnd(std::size_t segmentStart);
    void countDecodedBytes(std::size_t count);

    TZpaqByteReader& m_input;
    TZpaqOutputBuffer& m_output;
    const TZpaqLimits& m_limits;
    std::uint64_t m_decodedBytes = 0;
    std::uint64_t m_decodedLimit = 0;
};

} // namespace shared
