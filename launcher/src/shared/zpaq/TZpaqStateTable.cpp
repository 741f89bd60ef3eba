#include "TZpaqStateTable.h"

#include <utility>

namespace shared {

namespace {

constexpr int kMaxCount = 50;

// How many states represent the count pair: none past the bounds, two (split by the last bit)
// while both counts are non-zero and small, otherwise one.
int statesFor(int n0, int n1)
{
    static const int kBound[6] = {20, 48, 15, 8, 6, 5}; // largest count paired with 0..5 of the other
    if (n0 < n1)
        std::swap(n0, n1);
    if (n1 < 0 || n1 >= 6 || n0 > kBound[n1])
        return 0;
    return 1 + (n1 > 0 && n0 + n1 <= 17);
}

// Old evidence for the opposite bit is kept only partially once a bit contradicts it.
int discounted(int n)
{
    return (n >= 1) + (n >= 2) + (n >= 3) + (n >= 4) + (n >= 5) + (n >= 7) + (n >= 8);
}

void advance(int& n0, int& n1, int bit)
{
    if (n0 < n1) {
        advance(n1, n0, 1 - bit);
        return;
    }
    if (bit != 0) {
        ++n1;
        n0 = discounted(n0);
    } else {
        ++n0;
        n1 = discounted(n1);
    }
    // Step back to the nearest representable pair, keeping the ratio where n1 is large.
    while (statesFor(n0, n1) == 0) {
        if (n1 < 2) {
            --n0;
        } else {
            n0 = (n0 * (n1 - 1) + n1 / 2) / n1;
            --n1;
        }
    }
}

} // namespace

const TZpaqStateTable& TZpaqStateTable::instance()
{
    static const TZpaqStateTable table;
    return table;
}

TZpaqStateTable::TZpaqStateTable()
{
    // Number the states by increasing total count; a split pair gets the "last bit 0" state first.
    std::uint8_t stateOf[kMaxCount][kMaxCount][2] = {};
    int state = 0;
    for (int total = 0; total < kMaxCount; ++total) {
        for (int n1 = 0; n1 <= total; ++n1) {
            const int n0 = total - n1;
            const int count = statesFor(n0, n1);
            if (count == 0)
                continue;
            stateOf[n0][n1][0] = static_cast<std::uint8_t>(state);
            stateOf[n0][n1][1] = static_cast<std::uint8_t>(state + count - 1);
            state += count;
        }
    }
    for (int n0 = 0; n0 < kMaxCount; ++n0) {
        for (int n1 = 0; n1 < kMaxCount; ++n1) {
            for (int last = 0; last < statesFor(n0, n1); ++last) {
                const int s = stateOf[n0][n1][last];
                for (int bit = 0; bit < 2; ++bit) {
                    int next0 = n0;
                    int next1 = n1;
                    advance(next0, next1, bit);
                    m_next[s * 2 + bit] = stateOf[next0][next1][bit];
                }
                m_zeros[s] = static_cast<std::uint8_t>(n0);
                m_ones[s] = static_cast<std::uint8_t>(n1);
            }
        }
    }
}

std::uint32_t TZpaqStateTable::initialProbability(int state) const
{
    return ((std::uint32_t(m_ones[state]) * 2 + 1) << 22) / (std::uint32_t(m_zeros[state]) + m_ones[state] + 1);
}

} // namespace shared
