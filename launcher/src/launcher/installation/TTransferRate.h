#pragma once

#include <QtGlobal>

#include <limits>

namespace orvan::launcher {

/// Statistics of the bytes a transfer gained per progress tick; the window shows ten times the
/// mean as bytes per second while count is not 0.
struct TTransferRate
{
    /// Ticks averaged; after 30 the statistics restart from their mean, so they follow changes.
    static constexpr quint64 MaximumCount = 30;

    quint64 count = 0;
    quint64 minimum = std::numeric_limits<quint64>::max();
    quint64 maximum = 0;
    double mean = 0.0;

    /// Adds the bytes gained in one tick.
    void add(quint64 Delta);
    void reset() { count = 0; }
};

} // namespace orvan::launcher
