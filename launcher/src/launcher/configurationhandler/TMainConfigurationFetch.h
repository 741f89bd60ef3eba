#pragma once

#include "TConfigurationTrust.h"

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <memory>

namespace shared {
class TDownloadPool;
} // namespace shared

namespace orvan::launcher {

class TLauncherConfigurationReader;
class TLauncherFilesystemHelper;

/// Fetches the main configuration (with its signature in a signed deployment) through the download
/// pool and keeps the last accepted one, falling back to the copy saved on disk when the server
/// can't be reached in time or the document is refused. Listens to the pool for its own URLs only.
class TMainConfigurationFetch : public QObject
{
    Q_OBJECT

public:
    enum class EOutcome
    {
        Downloaded,
        FromDisk,
        Failed,
    };

    static const QString savedConfigurationFileName;
    static const QString signatureSuffix;
    static const QString pendingSuffix;

    TMainConfigurationFetch(std::shared_ptr<::shared::TDownloadPool> downloadPool,
                            std::shared_ptr<TLauncherFilesystemHelper> filesystemHelper);
    ~TMainConfigurationFetch() override;

    /// Requests the document (and its signature) and starts the error timer; settled follows.
    void start();

    std::shared_ptr<TLauncherConfigurationReader> configuration() const { return m_configuration; }
    bool isLoadedFromDisk() const { return m_loadedFromDisk; }
    bool isOutOfDate() const { return m_outOfDate; }
    /// Whether trusted keys are configured, so that signatures and pins are checked.
    bool isSigned() const { return m_trust != nullptr; }
    QString savedConfigurationPath() const;

signals:
    // NOLINTBEGIN(readability-identifier-naming)
    void settled(orvan::launcher::TMainConfigurationFetch::EOutcome Outcome);
    void diskAccessFailed(QString ErrorMessage);
    // NOLINTEND(readability-identifier-naming)

private slots:
    void onDownloadFinished(const QUrl& url, const QByteArray& data);
    void onDownloadFailed(const QUrl& url, QNetworkReply::NetworkError code, const QString& errorString);
    void onErrorTimerExpired();

private:
    void acceptDocument(const QByteArray& data, const QUrl& url);
    /// The signature of the held document arrived (or, with m_signatureFailure set, did not).
    void judgeSignedDocument();
    void acceptSignedDocument(const QByteArray& signatureText);
    /// Stops the error timer and every transfer of the document and its signature.
    void stopWaiting();
    void loadSavedCopy();
    /// Why the saved copy in Data does not verify against the saved signature; not refused when
    /// it does, or when the document of a save cut short does, which then replaces Data.
    TConfigurationTrust::TRefusal verifySavedCopy(QByteArray& data) const;
    /// Checks serial and expiry time in a signed deployment, noting an expiry in m_outOfDate.
    TConfigurationTrust::TRefusal checkFreshness(const TLauncherConfigurationReader& configuration);
    /// Logs a warning when an unsigned launcher meets a configuration from a signed deployment.
    void warnIfSignatureUnchecked(const TLauncherConfigurationReader& configuration) const;
    void save(const QByteArray& data, const QByteArray& signature);
    QUrl deliveredFrom(const QUrl& url) const;

    std::shared_ptr<::shared::TDownloadPool> m_downloadPool;
    std::shared_ptr<TLauncherFilesystemHelper> m_filesystemHelper;
    QUrl m_url;
    QTimer m_errorTimer;
    /// Set in a signed deployment (trusted keys configured), from the first start.
    std::unique_ptr<TConfigurationTrust> m_trust;
    QUrl m_signatureUrl;
    /// The document while its signature is on its way, and the answer for the signature while the
    /// document is: its text or why it could not be fetched.
    QByteArray m_unverifiedDocument;
    QUrl m_unverifiedDocumentSource;
    QByteArray m_receivedSignature;
    QString m_signatureFailure;
    std::shared_ptr<TLauncherConfigurationReader> m_configuration;
    bool m_loadedFromDisk = false;
    bool m_outOfDate = false;
};

} // namespace orvan::launcher
