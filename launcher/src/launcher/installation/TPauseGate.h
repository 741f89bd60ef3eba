#pragma once

#include <QMutex>
#include <QWaitCondition>

namespace orvan::launcher {

/// Where the background tasks of a run wait while the player has paused it. Tasks pass the gate at
/// the points where they already look for cancellation; while it is closed they block there,
/// lending their place in the global thread pool to other work. Any thread.
class TPauseGate
{
public:
    /// Closes the gate; false when it was closed already or has been opened for good.
    bool close();
    /// Opens the gate and lets the waiting tasks go on; false when it was not closed.
    bool open();
    bool isClosed() const;
    /// Opens the gate for good, for a run that is cancelled or going away: no task may stay
    /// blocked while its owner waits for it to end.
    void openForGood();
    /// Blocks the calling task while the gate is closed.
    void pass() const;

private:
    mutable QMutex m_mutex;
    mutable QWaitCondition m_opened;
    bool m_closed = false;
    bool m_openForGood = false;
};

} // namespace orvan::launcher
