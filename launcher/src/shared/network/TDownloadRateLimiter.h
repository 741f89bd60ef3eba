#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <deque>
#include <functional>

namespace shared {

/// A token bucket for the download rate of every pool it is attached to: readers ask it for the
/// bytes they want to take from their replies and read no more than it grants. A reader that gets
/// less than it asked for waits its turn; readers are served in the order they started waiting,
/// so none starves the others. Lives on the GUI thread.
class TDownloadRateLimiter : public QObject
{
    Q_OBJECT

public:
    /// Monotonic time in nanoseconds.
    using TClock = std::function<qint64()>;

    /// The bucket holds a tenth of a second of the rate, and never less than this.
    static constexpr qint64 MinBurstBytes = 64 * 1024;
    /// Waiting readers are woken when about this much has been refilled, within the bounds below.
    static constexpr qint64 WakeQuantumBytes = 64 * 1024;
    static constexpr int MinWakeIntervalMs = 5;
    static constexpr int MaxWakeIntervalMs = 100;

    /// bytesPerSecond 0 (or less): unlimited.
    explicit TDownloadRateLimiter(qint64 bytesPerSecond = 0, QObject* parent = nullptr);
    ~TDownloadRateLimiter() override;

    /// Replaces the time source; for tests.
    void setClock(TClock clock);

    /// Takes effect at once: grants from now on follow the new rate, and waiting readers are
    /// woken at once when the limit is lifted.
    void setRate(qint64 bytesPerSecond);
    qint64 rate() const { return m_rate; }
    bool isLimited() const { return m_rate > 0; }
    /// What the bucket can hold at the current rate.
    qint64 burstBytes() const;

    /// Grants reader up to wanted bytes and counts them as used. Unlimited: all of them. While other
    /// readers wait, a reader that is not being woken gets nothing: it must wait() for its turn.
    qint64 acquire(const void* reader, qint64 wanted);
    /// Calls wake (with context alive) once bytes are available again and it is reader's turn;
    /// the call is expected to acquire() again. A reader waits at most once at a time.
    void wait(const void* reader, QObject* context, std::function<void()> wake);
    /// Drops reader's wait, if any; its wake function is not called.
    void forget(const void* reader);
    int waitingCount() const { return static_cast<int>(m_waiting.size()); }

    /// Serves the waiting readers as far as the refilled bucket allows; runs from the timer.
    void wakeWaiting();

signals:
    // NOLINTBEGIN(readability-identifier-naming)
    void rateChanged(qint64 BytesPerSecond);
    // NOLINTEND(readability-identifier-naming)

private:
    struct TWaiter
    {
        const void* reader;
        QPointer<QObject> context;
        std::function<void()> wake;
    };

    void refill();
    void scheduleWake();
    bool isWaiting(const void* reader) const;

    qint64 m_rate = 0;
    double m_tokens = 0;
    qint64 m_lastRefillNs = 0;
    TClock m_clock;
    QElapsedTimer m_elapsed;
    std::deque<TWaiter> m_waiting;
    const void* m_wakingReader = nullptr;
    QTimer m_wakeTimer;
};

} // namespace shared
