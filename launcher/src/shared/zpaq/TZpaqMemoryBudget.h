#pragma once

#include <cstddef>

namespace shared {

/// Counts the bytes a block allocates against TZpaqLimits::maxBlockMemory.
class TZpaqMemoryBudget
{
public:
    explicit TZpaqMemoryBudget(std::size_t limit);

    /// Reserves bytes, throwing TZpaqFormatError when the budget would be exceeded.
    void reserve(std::size_t bytes);
    /// Returns bytes reserved earlier, e.g. before the allocation that will claim them again.
    void release(std::size_t bytes);
    /// Bytes of an array of 2^bits elements of elementSize bytes; throws when it cannot fit.
    static std::size_t arrayBytes(unsigned bits, std::size_t elementSize);

private:
    std::size_t m_remaining;
};

} // namespace shared
