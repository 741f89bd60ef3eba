#include "network/TDownloadRateLimiter.h"

#include <algorithm>
#include <cmath>

namespace shared {

namespace {

constexpr double NanosecondsPerSecond = 1e9;

} // namespace

TDownloadRateLimiter::TDownloadRateLimiter(qint64 bytesPerSecond, QObject* parent) : QObject(parent)
{
    m_elapsed.start();
    m_clock = [this] { return m_elapsed.nsecsElapsed(); };
    m_lastRefillNs = m_clock();
    m_wakeTimer.setSingleShot(true);
    // A coarse timer may fire a twentieth of its interval late, which the rate would show.
    m_wakeTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_wakeTimer, &QTimer::timeout, this, &TDownloadRateLimiter::wakeWaiting);
    setRate(bytesPerSecond);
}

TDownloadRateLimiter::~TDownloadRateLimiter() = default;

void TDownloadRateLimiter::setClock(TClock clock)
{
    m_clock = std::move(clock);
    m_lastRefillNs = m_clock();
}

void TDownloadRateLimiter::setRate(qint64 bytesPerSecond)
{
    const qint64 rate = std::max<qint64>(0, bytesPerSecond);
    if (rate == m_rate) {
        return;
    }
    refill();
    const bool wasLimited = isLimited();
    m_rate = rate;
    // A limit that starts now starts with a full bucket; a changed one keeps what it holds.
    m_tokens = wasLimited ? std::min(m_tokens, double(burstBytes())) : double(burstBytes());
    if (!m_waiting.empty()) {
        m_wakeTimer.stop();
        scheduleWake();
    }
    emit rateChanged(m_rate);
}

qint64 TDownloadRateLimiter::burstBytes() const
{
    return isLimited() ? std::max(MinBurstBytes, m_rate / 10) : 0;
}

qint64 TDownloadRateLimiter::acquire(const void* reader, qint64 wanted)
{
    if (wanted <= 0) {
        return 0;
    }
    if (!isLimited()) {
        return wanted;
    }
    if (!m_waiting.empty() && reader != m_wakingReader) {
        return 0;
    }
    refill();
    const qint64 granted = std::min(wanted, static_cast<qint64>(std::floor(m_tokens)));
    if (granted <= 0) {
        return 0;
    }
    m_tokens -= double(granted);
    return granted;
}

void TDownloadRateLimiter::wait(const void* reader, QObject* context, std::function<void()> wake)
{
    if (isWaiting(reader)) {
        return;
    }
    m_waiting.push_back(TWaiter{reader, context, std::move(wake)});
    scheduleWake();
}

void TDownloadRateLimiter::forget(const void* reader)
{
    m_waiting.erase(std::remove_if(m_waiting.begin(), m_waiting.end(),
                                   [reader](const TWaiter& waiter) { return waiter.reader == reader; }),
                    m_waiting.end());
    if (m_waiting.empty()) {
        m_wakeTimer.stop();
    }
}

void TDownloadRateLimiter::wakeWaiting()
{
    refill();
    // Each reader present now gets one turn; one that asks again waits behind the others.
    for (std::size_t turns = m_waiting.size(); turns > 0 && !m_waiting.empty(); --turns) {
        if (isLimited() && m_tokens < 1) {
            break;
        }
        TWaiter waiter = std::move(m_waiting.front());
        m_waiting.pop_front();
        if (!waiter.context) {
            continue;
        }
        m_wakingReader = waiter.reader;
        waiter.wake();
        m_wakingReader = nullptr;
    }
    scheduleWake();
}

void TDownloadRateLimiter::refill()
{
    const qint64 now = m_clock();
    const qint64 elapsed = std::max<qint64>(0, now - m_lastRefillNs);
    m_lastRefillNs = now;
    if (isLimited()) {
        m_tokens = std::min(double(burstBytes()), m_tokens + double(elapsed) * double(m_rate) / NanosecondsPerSecond);
    }
}

void TDownloadRateLimiter::scheduleWake()
{
    if (m_waiting.empty() || m_wakeTimer.isActive()) {
        return;
    }
    int intervalMs = 0;
    if (isLimited()) {
        refill();
        const double missing = double(std::min(WakeQuantumBytes, burstBytes())) - m_tokens;
        if (missing > 0) {
            const double ms = std::ceil(missing * 1000.0 / double(m_rate));
            intervalMs = static_cast<int>(std::clamp(ms, double(MinWakeIntervalMs), double(MaxWakeIntervalMs)));
        }
    }
    m_wakeTimer.start(intervalMs);
}

bool TDownloadRateLimiter::isWaiting(const void* reader) const
{
    return std::any_of(m_waiting.begin(), m_waiting.end(),
                       [reader](const TWaiter& waiter) { return waiter.reader == reader; });
}

} // namespace shared
