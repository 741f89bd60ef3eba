#pragma once

#include <QString>
#include <QtGlobal>

#include <deque>
#include <optional>
#include <utility>

namespace orvan::launcher {

/// The time a transfer still needs, from the bytes it gained over its last few seconds. Fed with
/// one sample per progress tick; knows no answer until the samples span MinimumSpanMs and bytes
/// were gained in them.
class TTimeLeftEstimator
{
public:
    /// Samples older than this before the newest one are forgotten: the estimate follows changes
    /// of the rate (a new limit, a slower server) within a few seconds.
    static constexpr qint64 WindowMs = 5000;
    static constexpr qint64 MinimumSpanMs = 2000;
    /// Estimates beyond this are shown as "more than" it.
    static constexpr qint64 MaximumSeconds = 100 * 3600 - 1;

    /// Adds the transfer's state at Milliseconds (a steady clock): Done of Total bytes.
    void addSample(qint64 milliseconds, quint64 done, quint64 total);
    /// Forgets the samples, after a pause or at the start of a run.
    void reset() { m_samples.clear(); }
    /// Whole seconds left, rounded up; nothing while unknown.
    std::optional<qint64> secondsLeft() const;

    /// "45 s", "2 min 05 s", "1 h 05 min"; "more than 99 h" beyond MaximumSeconds.
    static QString durationText(qint64 seconds);

private:
    /// (milliseconds, bytes done), oldest first.
    std::deque<std::pair<qint64, quint64>> m_samples;
    quint64 m_total = 0;
};

} // namespace orvan::launcher
