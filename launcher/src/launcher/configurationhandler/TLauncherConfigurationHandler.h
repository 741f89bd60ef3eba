#pragma once

#include "TPackageConfigurationCache.h"

#include "randomhints/THint.h"

#include <QByteArray>
#include <QFutureWatcher>
#include <QHash>
#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QTimer>
#include <QUrl>

#include <deque>
#include <memory>
#include <vector>

namespace shared {
class TDownloadPool;
class TRandomNumberGenerator;
} // namespace shared

namespace orvan::launcher {

class TConfigurationTrust;
class TLauncherConfigurationReader;
class TLauncherFilesystemHelper;
class TPackageBuild;

/// Fetches the main configuration through the main download pool (falling back to the copy saved
/// on disk when the server can't be reached in time), then the package and asset configuration
/// documents of every package's current build; also receives the hints document. Package
/// documents are parsed one build at a time on the global thread pool, and the destructor waits
/// for the parse under way.
class TLauncherConfigurationHandler : public QObject
{
    Q_OBJECT

public:
    static const QString savedConfigurationFileName;
    /// Suffix of the saved copy's signature file and of the signature's URL path.
    static const QString signatureSuffix;
    /// Suffix of a signed saved copy while it waits for its signature to be written.
    static const QString pendingSuffix;
    /// Cap of the hints document; the main, package and asset documents get the pool's default.
    static constexpr qint64 HintsMaxResponseBytes = 1024 * 1024;

    TLauncherConfigurationHandler(std::shared_ptr<::shared::TDownloadPool> downloadPool,
                                  std::shared_ptr<TLauncherFilesystemHelper> filesystemHelper);
    ~TLauncherConfigurationHandler() override;

    /// Requests the main configuration and starts the error timer.
    void loadMainConfiguration();
    /// Requests the package and asset documents of every package's current build (local files
    /// of the installed documents when working from the saved copy).
    void requestPackageConfigurations();

    std::shared_ptr<TLauncherConfigurationReader> configuration() const { return m_configuration; }
    bool isLoadedFromDisk() const { return m_loadedFromDisk; }
    const ::shared::THint& currentHint() const { return m_currentHint; }
    const std::vector<::shared::THint>& hints() const { return m_hints; }
    std::shared_ptr<::shared::TDownloadPool> downloadPool() const { return m_downloadPool; }
    /// Where the last downloaded main configuration is kept.
    QString savedConfigurationPath() const;
    /// True when the last main configuration was refused because its expiry time had passed.
    bool isConfigurationOutOfDate() const { return m_configurationOutOfDate; }
    /// Names of the packages whose documents did not match their pins, in the order refused.
    const QStringList& refusedPackages() const { return m_refusedPackages; }
    /// Adds a "nocache" query item with a random 32-character token when the settings ask for it.
    QUrl withNocacheToken(const QUrl& url);

signals:
    // NOLINTBEGIN(readability-identifier-naming)
    void mainConfigurationLoaded();
    void mainConfigurationDownloadFailed();
    void diskAccessFailed(QString ErrorMessage);
    void packageConfigurationDownloadsFinished();
    void hintAreaDataReceived(const ::shared::THint& Hint);
    void hintsAreaDataReceived(std::vector<::shared::THint> Hints);
    // NOLINTEND(readability-identifier-naming)

private slots:
    void onConfigurationDownloadFinished(QUrl url, QByteArray data);
    void onConfigurationDownloadFailed(QUrl url, QNetworkReply::NetworkError code, QString errorString);
    void onErrorTimerExpired();

private:
    struct TPendingPackageConfiguration
    {
        TPackageBuild* build = nullptr;
        QString packageName;
        QUrl packageConfigurationUrl;
        QUrl assetConfigurationUrl;
        QByteArray packageConfigurationData;
        QByteArray assetConfigurationData;
        /// Where each document was served from, after redirects: the base of its relative URLs.
        QUrl packageConfigurationSource;
        QUrl assetConfigurationSource;

        bool isWaiting() const;
    };

    void acceptMainConfiguration(const QByteArray& data, const QUrl& url);
    /// The signature of the held main configuration arrived (or, with an empty text, did not).
    void judgeSignedMainConfiguration();
    void acceptSignedMainConfiguration(const QByteArray& signatureText);
    /// Stops the error timer and every transfer of the main configuration and its signature.
    void stopWaitingForMainConfiguration();
    void loadSavedConfiguration();
    /// Why the saved copy in Data does not verify against the saved signature; empty when it
    /// does, or when the document of a save cut short does, which then replaces Data.
    QString verifySavedCopy(QByteArray& data) const;
    /// Logs a warning when an unsigned launcher meets a configuration from a signed deployment.
    void warnIfSignatureUnchecked(const TLauncherConfigurationReader& configuration) const;
    /// Empty when the serial and expiry time of a signed deployment's configuration allow it;
    /// else why not, after noting an expiry in m_configurationOutOfDate.
    QString freshnessRefusal(const TLauncherConfigurationReader& configuration);
    void saveMainConfiguration(const QByteArray& data, const QByteArray& signature);
    /// Queues the documents of a complete entry for parsing, unless the pins refuse them.
    void attachConfiguration(const TPendingPackageConfiguration& entry);
    void parseNextConfiguration();
    void onConfigurationParsed();
    /// True when no document is awaited and none is waiting for or under parsing.
    bool packageConfigurationsSettled() const;
    void handleHints(const QByteArray& data);
    void storePackageConfigurationData(const QUrl& url, const QByteArray& data, const QUrl& source);
    /// The URL the data of url now being reported came from (differs after redirects).
    QUrl deliveredFrom(const QUrl& url) const;
    void addPendingEntries();
    /// Hands an installed package or asset document to the download handlers, as the pool would.
    void readInstalledDocument(const QUrl& url);
    QString installationDirectoryOf(const QString& directoryName) const;
    /// Asks the build's next mirror for the document of Entry that could not be fetched from Url;
    /// false when no mirror is left.
    bool requestFromNextMirror(TPendingPackageConfiguration& entry, const QUrl& url, const QString& errorString);
    /// What the relative URLs of the document requested with Url and served from Source are
    /// resolved against: Source, or for a copy from a mirror the URL it was first requested from.
    QUrl baseOfDocument(const QUrl& url, const QUrl& source) const;

    std::shared_ptr<::shared::TDownloadPool> m_downloadPool;
    std::shared_ptr<TLauncherFilesystemHelper> m_filesystemHelper;
    QUrl m_mainConfigurationUrl;
    QTimer m_errorTimer;
    std::shared_ptr<TLauncherConfigurationReader> m_configuration;
    bool m_loadedFromDisk = false;
    ::shared::THint m_currentHint;
    std::vector<::shared::THint> m_hints;
    std::vector<TPendingPackageConfiguration> m_pendingPackageConfigurations;
    std::unique_ptr<::shared::TRandomNumberGenerator> m_randomNumberGenerator;
    /// Set in a signed deployment (trusted keys configured), from the first loadMainConfiguration.
    std::unique_ptr<TConfigurationTrust> m_trust;
    QUrl m_signatureUrl;
    /// The main configuration while its signature is on its way, and the answer for the signature
    /// while the document is: its text or why it could not be fetched.
    QByteArray m_unverifiedDocument;
    QUrl m_unverifiedDocumentSource;
    QByteArray m_receivedSignature;
    QString m_signatureFailure;
    bool m_configurationOutOfDate = false;
    QStringList m_refusedPackages;
    struct TMirroredDocument
    {
        QUrl firstRequestedUrl;
        /// The mirror the URL points at, counted from 1.
        int mirror = 0;
    };
    /// The documents being fetched from a mirror, by the URL they were requested with.
    QHash<QUrl, TMirroredDocument> m_mirroredDocuments;
    /// Complete entries in arrival order; the first one is being parsed while m_parsing is set.
    std::deque<TPendingPackageConfiguration> m_parseQueue;
    bool m_parsing = false;
    QFutureWatcher<TPackageConfigurationCache::TResult> m_parseWatcher;
    TPackageConfigurationCache m_configurationCache;
};

} // namespace orvan::launcher
