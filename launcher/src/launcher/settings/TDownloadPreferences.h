#pragma once

#include <QObject>
#include <QString>

#include <optional>

class QSettings;

namespace orvan::launcher {

/// The player's download controls: a limit on the download rate of all installations together
/// and the number of parallel downloads of each installation. The publisher's defaults come from
/// launchersettings.ini; the player's choice lives in the per-user settings store and overrides
/// them. Lives on the GUI thread; every change takes effect through changed().
class TDownloadPreferences : public QObject
{
    Q_OBJECT

public:
    static constexpr int MinParallelDownloads = 1;
    static constexpr int MaxParallelDownloads = 16;
    /// Anything above is taken for a typing error rather than a limit (1 TiB/s).
    static constexpr qint64 MaxRateBytesPerSecond = qint64(1) << 40;
    /// Keys of the player's choice in the per-user settings store.
    static const QString RateKey;
    static const QString ParallelDownloadsKey;

    /// Reads the player's choice from the per-user store; a stored value that is not a number in
    /// range is ignored with a log line. defaultRate (bytes per second, 0 = none) and
    /// defaultParallelDownloads are the publisher's defaults.
    TDownloadPreferences(qint64 defaultRate, int defaultParallelDownloads, QObject* parent = nullptr);

    /// Bytes per second for all transfers together; 0: no limit.
    qint64 maxDownloadRate() const { return m_rate; }
    int maxConcurrentDownloads() const { return m_parallelDownloads; }
    qint64 defaultMaxDownloadRate() const { return m_defaultRate; }
    int defaultMaxConcurrentDownloads() const { return m_defaultParallelDownloads; }

    /// Stores the player's choice (clamped to the valid range) and emits changed() when the
    /// effective value differs.
    void setMaxDownloadRate(qint64 bytesPerSecond);
    void setMaxConcurrentDownloads(int count);
    /// Forgets the player's choice: the publisher's defaults apply again.
    void resetToDefaults();

    /// The integer in text when it lies in [minimum, maximum]; otherwise nothing.
    static std::optional<qint64> parseBounded(const QString& text, qint64 minimum, qint64 maximum);

signals:
    void changed();

private:
    void loadStoredChoice();
    void apply(qint64 rate, int parallelDownloads);

    qint64 m_defaultRate;
    int m_defaultParallelDownloads;
    qint64 m_rate;
    int m_parallelDownloads;
};

} // namespace orvan::launcher
