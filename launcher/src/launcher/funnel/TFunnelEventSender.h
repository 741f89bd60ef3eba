#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

namespace orvan::launcher {

/// Posts the launcher's funnel milestones ("launcher_started", "launcher_downloaded",
/// "launcher_verified") with the device identifier, the first-time flag and the account group
/// key. Fire and forget: answers and failures are only logged.
class TFunnelEventSender : public QObject
{
    Q_OBJECT

public:
    static const QString funnelUuidKey;
    /// Below the generic data location; holds {"DeviceIdentifier": ...}.
    static const QString sharedIdentifierFile;

    explicit TFunnelEventSender(QObject* parent = nullptr);

    /// Sends one event to funnelUrl; an invalid URL sends nothing (the flags and the
    /// identifier are still kept up to date).
    void sendFunnelEvent(const QUrl& funnelUrl, const QString& accountGroupKey, const QString& step,
                         const QString& firstSettingsKey);

    /// The device identifier, created (and written to the shared file) on first use.
    static QString deviceIdentifier();

    /// Events posted whose answer (or failure) has not arrived yet.
    int pendingEventCount() const { return m_pendingEvents; }

signals:
    // NOLINTBEGIN(readability-identifier-naming)
    /// Emitted when the answer (or failure) of an event has been logged.
    void funnelEventFinished(QString Step, bool Success);
    // NOLINTEND(readability-identifier-naming)

private:
    static void writeSharedIdentifierFile(const QString& identifier);

    int m_pendingEvents = 0;
};

} // namespace orvan::launcher
