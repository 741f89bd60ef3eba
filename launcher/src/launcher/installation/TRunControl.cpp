#include "TRunControl.h"

#include "TThreadPoolWaitScope.h"

#include <QMutexLocker>

namespace orvan::launcher {

void TRunControl::cancel()
{
    const QMutexLocker lock(&m_mutex);
    // Set before the waiting tasks wake: they must see it.
    m_cancelled.store(true);
    m_paused = false;
    m_resumed.wakeAll();
}

bool TRunControl::pause()
{
    const QMutexLocker lock(&m_mutex);
    if (m_paused || m_cancelled.load())
        return false;
    m_paused = true;
    return true;
}

bool TRunControl::resume()
{
    const QMutexLocker lock(&m_mutex);
    if (!m_paused)
        return false;
    m_paused = false;
    m_resumed.wakeAll();
    return true;
}

bool TRunControl::isPaused() const
{
    const QMutexLocker lock(&m_mutex);
    return m_paused;
}

bool TRunControl::checkpoint() const
{
    QMutexLocker lock(&m_mutex);
    if (m_paused) {
        // A blocked task would otherwise keep a core's worth of pool threads from other runs.
        const TThreadPoolWaitScope waitScope;
        while (m_paused)
            m_resumed.wait(&m_mutex);
    }
    return m_cancelled.load();
}

} // namespace orvan::launcher
