#include "TDownloadPreferences.h"

#include <QDebug>
#include <QSettings>

#include <algorithm>

namespace orvan::launcher {

const QString TDownloadPreferences::RateKey = QStringLiteral("downloads/maxDownloadRate");
const QString TDownloadPreferences::ParallelDownloadsKey = QStringLiteral("downloads/maxConcurrentDownloads");

namespace {

/// The stored value of key when it is a number in range; a present but unusable value is removed
/// from the store with a log line, so that it is reported once.
std::optional<qint64> readStored(QSettings& store, const QString& key, qint64 minimum, qint64 maximum)
{
    if (!store.contains(key))
        return std::nullopt;
    const QString text = store.value(key).toString();
    const std::optional<qint64> value = TDownloadPreferences::parseBounded(text, minimum, maximum);
    if (!value) {
        qWarning().noquote() << "Stored download setting" << key << "ignored: \"" + text + "\" is not a number from"
                             << minimum << "to" << maximum;
        store.remove(key);
    }
    return value;
}

} // namespace

TDownloadPreferences::TDownloadPreferences(qint64 defaultRate, int defaultParallelDownloads, QObject* parent)
    : QObject(parent), m_defaultRate(defaultRate), m_defaultParallelDownloads(defaultParallelDownloads),
      m_rate(defaultRate), m_parallelDownloads(defaultParallelDownloads)
{
    loadStoredChoice();
}

std::optional<qint64> TDownloadPreferences::parseBounded(const QString& text, qint64 minimum, qint64 maximum)
{
    bool ok = false;
    const qint64 value = text.trimmed().toLongLong(&ok);
    if (!ok || value < minimum || value > maximum)
        return std::nullopt;
    return value;
}

void TDownloadPreferences::loadStoredChoice()
{
    QSettings store;
    const std::optional<qint64> rate = readStored(store, RateKey, 0, MaxRateBytesPerSecond);
    const std::optional<qint64> parallel =
        readStored(store, ParallelDownloadsKey, MinParallelDownloads, MaxParallelDownloads);
    m_rate = rate.value_or(m_defaultRate);
    m_parallelDownloads = static_cast<int>(parallel.value_or(m_defaultParallelDownloads));
}

void TDownloadPreferences::setMaxDownloadRate(qint64 bytesPerSecond)
{
    const qint64 rate = std::clamp<qint64>(bytesPerSecond, 0, MaxRateBytesPerSecond);
    QSettings().setValue(RateKey, rate);
    apply(rate, m_parallelDownloads);
}

void TDownloadPreferences::setMaxConcurrentDownloads(int count)
{
    const int parallel = std::clamp(count, MinParallelDownloads, MaxParallelDownloads);
    QSettings().setValue(ParallelDownloadsKey, parallel);
    apply(m_rate, parallel);
}

void TDownloadPreferences::resetToDefaults()
{
    QSettings store;
    store.remove(RateKey);
    store.remove(ParallelDownloadsKey);
    apply(m_defaultRate, m_defaultParallelDownloads);
}

void TDownloadPreferences::apply(qint64 rate, int parallelDownloads)
{
    if (rate == m_rate && parallelDownloads == m_parallelDownloads)
        return;
    m_rate = rate;
    m_parallelDownloads = parallelDownloads;
    qInfo().noquote() << "Download settings:"
                      << (rate == 0 ? QStringLiteral("no rate limit")
                                    : QStringLiteral("limit %1 bytes per second").arg(rate))
                      << QStringLiteral("and %1 parallel downloads").arg(parallelDownloads);
    emit changed();
}

} // namespace orvan::launcher
