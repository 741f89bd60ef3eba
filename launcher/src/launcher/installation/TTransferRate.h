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
    /// The transfer's total at the last tick.
    quint64 lastTotal = 0;

    /// Adds the gain from the last tick's total to Total. A total that went down (a retried
    /// download restarting its count) gains nothing rather than wrapping around.
    void addTotal(quint64 total);
    /// Adds the bytes gained in one tick.
    void add(quint64 delta);
    /// Forgets the ticks (and, with the totals, the last total).
    void reset() { count = 0; }
    void resetTotals()
    {
        count = 0;
        lastTotal = 0;
    }
};

} // namespace orvan::launcher
