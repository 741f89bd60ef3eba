#pragma once

#include <cstdint>

namespace shared {

/// The fixed-point logistic tables the model works with: stretch(p) = ln(p / (1 - p)) for a
/// 15-bit probability, scaled by 64, and its inverse squash(x) = 32768 / (1 + e^(-x / 64)).
/// Built once per process; read-only afterwards, so any thread may use them.
class TZpaqLogistic
{
public:
    static const TZpaqLogistic& instance();

    /// 32768 entries indexed by a 15-bit probability.
    const std::int16_t* stretchTable() const { return m_stretch; }
    /// 4096 entries indexed by x + 2048 for x in -2048..2047.
    const std::int16_t* squashTable() const { return m_squash; }

private:
    TZpaqLogistic();

    std::int16_t m_stretch[32768];
    std::int16_t m_squash[4096];
};

} // namespace shared
