#pragma once

#include <cstdint>

namespace shared {

class TZpaqByteReader;

/// Binary arithmetic decoder of one segment: 32-bit range [low, high] narrowed by each bit's
/// 16-bit probability, with identical leading bytes shifted out as input bytes are shifted in.
class TZpaqArithmeticDecoder
{
public:
    explicit TZpaqArithmeticDecoder(TZpaqByteReader& input);

    /// Resets the range and reads the first four bytes of a segment's coded data.
    void startSegment();
    /// Decodes the end-of-segment flag that precedes every byte; true ends the segment (and checks
    /// the zero bytes that close the coded data).
    bool decodeEndOfSegment();
    /// Decodes one bit whose probability of being 1 is p / 65536 (p in 1..65535).
    int decodeBit(std::uint32_t p);

private:
    TZpaqByteReader& m_input;
    std::uint32_t m_low = 1;
    std::uint32_t m_high = 0xFFFFFFFFu;
    std::uint32_t m_current = 0;
};

} // namespace shared
