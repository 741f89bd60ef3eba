#include "TTransferRate.h"

#include <algorithm>

namespace orvan::launcher {

void TTransferRate::addTotal(quint64 Total)
{
    add(Total >= lastTotal ? Total - lastTotal : 0);
    lastTotal = Total;
}

void TTransferRate::add(quint64 Delta)
{
    if (count == 0) {
        minimum = Delta;
        maximum = Delta;
        mean = static_cast<double>(Delta);
        count = 1;
        return;
    }
    const quint64 oldCount = count;
    count = oldCount + 1;
    minimum = std::min(minimum, Delta);
    maximum = std::max(maximum, Delta);
    mean = (static_cast<double>(oldCount) * mean + static_cast<double>(Delta)) / static_cast<double>(count);
    if (count > MaximumCount) {
        const auto truncated = static_cast<quint64>(mean);
        minimum = truncated;
        maximum = truncated;
        mean = static_cast<double>(truncated);
        count = 1;
    }
}

} // namespace orvan::launcher
