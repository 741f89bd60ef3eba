#include "TZpaqArithmeticDecoder.h"

#include "TZpaqByteReader.h"
#include "TZpaqFormatError.h"

namespace shared {

TZpaqArithmeticDecoder::TZpaqArithmeticDecoder(TZpaqByteReader& input) : m_input(input) {}

void TZpaqArithmeticDecoder::startSegment()
{
    m_low = 1;
    m_high = 0xFFFFFFFFu;
    m_current = m_input.requireBigEndian32();
}

bool TZpaqArithmeticDecoder::decodeEndOfSegment()
{
    if (decodeBit(0) == 0)
        return false;
    // The encoder closes a segment with four zero bytes after the final range.
    if (m_current != 0)
        throw TZpaqFormatError("bad end of segment");
    return true;
}

int TZpaqArithmeticDecoder::decodeBit(std::uint32_t p)
{
    if (m_current < m_low || m_current > m_high)
        throw TZpaqFormatError("corrupt coded data");
    const std::uint32_t mid = m_low + static_cast<std::uint32_t>((std::uint64_t(m_high - m_low) * p) >> 16);
    int bit;
    if (m_current <= mid) {
        bit = 1;
        m_high = mid;
    } else {
        bit = 0;
        m_low = mid + 1;
    }
    while ((m_high ^ m_low) < 0x1000000u) {
        m_high = m_high << 8 | 255;
        m_low <<= 8;
        m_low += m_low == 0 ? 1 : 0;
        m_current = m_current << 8 | static_cast<std::uint32_t>(m_input.require());
    }
    return bit;
}

} // namespace shared
