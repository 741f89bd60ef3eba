#include "TZpaqLogistic.h"

#include <cmath>

namespace shared {

const TZpaqLogistic& TZpaqLogistic::instance()
{
    static const TZpaqLogistic tables;
    return tables;
}

TZpaqLogistic::TZpaqLogistic()
{
    for (int i = 0; i < 32768; ++i) {
        const double logit = std::log((i + 0.5) / (32767.5 - i)) * 64;
        // Round half up, also for negative values.
        m_stretch[i] = static_cast<std::int16_t>(static_cast<int>(logit + 0.5 + 100000) - 100000);
    }
    for (int i = 0; i < 4096; ++i)
        m_squash[i] = static_cast<std::int16_t>(32768.0 / (1 + std::exp((i - 2048) * (-1.0 / 64))));
}

} // namespace shared
