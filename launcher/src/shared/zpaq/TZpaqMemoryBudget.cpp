#include "TZpaqMemoryBudget.h"

#include "TZpaqFormatError.h"

namespace shared {

TZpaqMemoryBudget::TZpaqMemoryBudget(std::size_t limit) : m_remaining(limit) {}

void TZpaqMemoryBudget::reserve(std::size_t bytes)
{
    if (bytes > m_remaining)
        throw TZpaqFormatError("block needs more memory than allowed");
    m_remaining -= bytes;
}

void TZpaqMemoryBudget::release(std::size_t bytes)
{
    m_remaining += bytes;
}

std::size_t TZpaqMemoryBudget::arrayBytes(unsigned bits, std::size_t elementSize)
{
    // Sizes are powers of two chosen by the stream; anything past 2^32 elements is never valid.
    if (bits > 32)
        throw TZpaqFormatError("table size exponent out of range");
    const std::size_t elements = std::size_t(1) << bits;
    if (elementSize != 0 && elements > SIZE_MAX / elementSize)
        throw TZpaqFormatError("table too large");
    return elements * elementSize;
}

} // namespace shared
