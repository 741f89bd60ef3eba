#include "TDecodingBudget.h"

#include <algorithm>

namespace orvan::launcher {

TDecodingBudget::TDecodingBudget(quint64 maxBytes) : m_maxBytes(maxBytes) {}

bool TDecodingBudget::canStart(quint64 bytes, int maxRunning) const
{
    if (m_running == 0)
        return true;
    return m_running < maxRunning && bytes <= m_maxBytes && m_runningBytes <= m_maxBytes - bytes;
}

void TDecodingBudget::start(quint64 bytes)
{
    ++m_running;
    m_runningBytes += bytes;
}

void TDecodingBudget::finish(quint64 bytes)
{
    m_running = std::max(0, m_running - 1);
    m_runningBytes -= std::min(m_runningBytes, bytes);
}

} // namespace orvan::launcher
