#include "TTimeLeftEstimator.h"

#include <algorithm>
#include <cmath>

namespace orvan::launcher {

void TTimeLeftEstimator::addSample(qint64 milliseconds, quint64 done, quint64 total)
{
    // A count that went down (a request asked for again after a pause or an error) makes the
    // older samples overstate the rate.
    if (!m_samples.empty() && (done < m_samples.back().second || milliseconds < m_samples.back().first))
        m_samples.clear();
    m_total = total;
    m_samples.emplace_back(milliseconds, done);
    while (m_samples.size() > 2 && milliseconds - m_samples[1].first >= WindowMs)
        m_samples.pop_front();
}

std::optional<qint64> TTimeLeftEstimator::secondsLeft() const
{
    if (m_samples.size() < 2)
        return std::nullopt;
    const auto& [firstMs, firstDone] = m_samples.front();
    const auto& [lastMs, lastDone] = m_samples.back();
    const qint64 span = lastMs - firstMs;
    if (span < MinimumSpanMs || lastDone <= firstDone || lastDone > m_total)
        return std::nullopt;
    const double bytesPerMs = static_cast<double>(lastDone - firstDone) / static_cast<double>(span);
    const double seconds = std::ceil(static_cast<double>(m_total - lastDone) / bytesPerMs / 1000.0);
    return seconds > static_cast<double>(MaximumSeconds) ? MaximumSeconds + 1 : static_cast<qint64>(seconds);
}

QString TTimeLeftEstimator::durationText(qint64 seconds)
{
    if (seconds > MaximumSeconds)
        return QStringLiteral("more than 99 h");
    if (seconds < 60)
        return QStringLiteral("%1 s").arg(std::max<qint64>(seconds, 0));
    if (seconds < 3600)
        return QStringLiteral("%1 min %2 s").arg(seconds / 60).arg(seconds % 60, 2, 10, QLatin1Char('0'));
    return QStringLiteral("%1 h %2 min").arg(seconds / 3600).arg(seconds / 60 % 60, 2, 10, QLatin1Char('0'));
}

} // namespace orvan::launcher
