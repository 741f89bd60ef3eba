#include "TPauseGate.h"

#include "TThreadPoolWaitScope.h"

#include <QMutexLocker>

namespace orvan::launcher {

bool TPauseGate::close()
{
    const QMutexLocker lock(&m_mutex);
    if (m_closed || m_openForGood)
        return false;
    m_closed = true;
    return true;
}

bool TPauseGate::open()
{
    const QMutexLocker lock(&m_mutex);
    if (!m_closed)
        return false;
    m_closed = false;
    m_opened.wakeAll();
    return true;
}

bool TPauseGate::isClosed() const
{
    const QMutexLocker lock(&m_mutex);
    return m_closed;
}

void TPauseGate::openForGood()
{
    const QMutexLocker lock(&m_mutex);
    m_openForGood = true;
    m_closed = false;
    m_opened.wakeAll();
}

void TPauseGate::pass() const
{
    QMutexLocker lock(&m_mutex);
    if (!m_closed)
        return;
    // A blocked task would otherwise keep a core's worth of pool threads from other runs.
    const TThreadPoolWaitScope waitScope;
    while (m_closed)
        m_opened.wait(&m_mutex);
}

} // namespace orvan::launcher
