#pragma once

#include <cstdint>

namespace shared {

/// The bit-history automaton shared by the indirect models: each of the 256 states stands for
/// a pair of bit counts (n0, n1), plus the last bit where the counts are small, and moves to a
/// successor on each coded bit, discounting the opposite count so recent bits weigh more.
class TZpaqStateTable
{
public:
    static const TZpaqStateTable& instance();

    /// Table of successors, indexed by state * 2 + bit.
    const std::uint8_t* nextTable() const { return m_next; }
    std::uint8_t next(int state, int bit) const { return m_next[state * 2 + bit]; }
    int zeros(int state) const { return m_zeros[state]; }
    int ones(int state) const { return m_ones[state]; }
    /// Initial probability of a 1 for a state, (n1 + 1/2) / (n0 + n1 + 1) scaled by 2^23.
    std::uint32_t initialProbability(int state) const;

private:
    TZpaqStateTable();

    std::uint8_t m_next[512] = {};
    std::uint8_t m_zeros[256] = {};
    std::uint8_t m_ones[256] = {};
};

} // namespace shared
