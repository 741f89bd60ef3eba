#include "TTransferRate.h"

#include <algorithm>

namespace orvan::launcher {

void TTransferRate::addTotal(quint64 total)
{
    add(total >= lastTotal ? total - lastTotal : 0);
    lastTotal = total;
}

void TTransferRate::add(quint64 delta)
{
    if (count == 0) {
        minimum = delta;
        maximum = delta;
        mean = static_cast<double>(delta);
        count = 1;
        return;
    }
    const quint64 oldCount = count;
    count = oldCount + 1;
    minimum = std::min(minimum, delta);
    maximum = std::max(maximum, delta);
    mean = (static_cast<double>(oldCount) * mean + static_cast<double>(delta)) / static_cast<double>(count);
    if (count > MaximumCount) {
        const auto truncated = static_cast<quint64>(mean);
        minimum = truncated;
        maximum = truncated;
        mean = static_cast<double>(truncated);
        count = 1;
    }
}

} // namespace orvan::launcher
