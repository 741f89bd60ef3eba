#pragma once

#include <QMutex>
#include <QWaitCondition>

#include <atomic>

namespace orvan::launcher {

/// Pause and cancellation of one run, shared by the installation and its background tasks. Tasks
/// call checkpoint() at each file or read portion: while the run is paused they block there,
/// lending their place in the global thread pool to other work. Any thread.
class TRunControl
{
public:
    /// Stops the run for good and lets every task blocked at a checkpoint go on to end.
    void cancel();
    /// Never blocks.
    bool isCancelled() const { return m_cancelled.load(); }
    /// Holds the tasks at their next checkpoint; false when paused already or cancelled.
    bool pause();
    /// Lets the held tasks go on; false when the run was not paused.
    bool resume();
    bool isPaused() const;
    /// Blocks the calling task while the run is paused; true when the task must stop.
    bool checkpoint() const;

private:
    mutable QMutex m_mutex;
    mutable QWaitCondition m_resumed;
    bool m_paused = false;
    std::atomic_bool m_cancelled{false};
};

} // namespace orvan::launcher
