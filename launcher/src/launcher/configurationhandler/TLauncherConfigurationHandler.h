#pragma once

#include "TBuildDocumentFetch.h"
#include "TMainConfigurationFetch.h"

#include "randomhints/THint.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>
#include <vector>

namespace shared {
class TDownloadPool;
} // namespace shared

namespace orvan::launcher {

class TLauncherConfigurationReader;
class TLauncherFilesystemHelper;

/// Fetches the main configuration through the main download pool (falling back to the copy saved
/// on disk when the server can't be reached in time), then the package and asset configuration
/// documents of every package's current build; also receives the hints document. The two fetches
/// are TMainConfigurationFetch and TBuildDocumentFetch; this class puts them in sequence.
class TLauncherConfigurationHandler : public QObject
{
    Q_OBJECT

public:
    static inline const QString& savedConfigurationFileName = TMainConfigurationFetch::savedConfigurationFileName;
    /// Suffix of the saved copy's signature file and of the signature's URL path.
    static inline const QString& signatureSuffix = TMainConfigurationFetch::signatureSuffix;
    /// Suffix of a signed saved copy while it waits for its signature to be written.
    static inline const QString& pendingSuffix = TMainConfigurationFetch::pendingSuffix;
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

    std::shared_ptr<TLauncherConfigurationReader> configuration() const { return m_mainFetch.configuration(); }
    bool isLoadedFromDisk() const { return m_mainFetch.isLoadedFromDisk(); }
    const ::shared::THint& currentHint() const { return m_currentHint; }
    const std::vector<::shared::THint>& hints() const { return m_hints; }
    std::shared_ptr<::shared::TDownloadPool> downloadPool() const { return m_downloadPool; }
    /// Where the last downloaded main configuration is kept.
    QString savedConfigurationPath() const { return m_mainFetch.savedConfigurationPath(); }
    /// True when the last main configuration was refused because its expiry time had passed.
    bool isConfigurationOutOfDate() const { return m_mainFetch.isOutOfDate(); }
    /// Names of the packages whose documents did not match their pins, in the order refused.
    const QStringList& refusedPackages() const { return m_documentFetch.refusedPackages(); }
    /// Adds a "nocache" query item with a random 32-character token when the settings ask for it.
    QUrl withNocacheToken(const QUrl& url) { return m_documentFetch.withNocacheToken(url); }

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
    void onMainConfigurationSettled(orvan::launcher::TMainConfigurationFetch::EOutcome outcome);
    void onDownloadFinished(const QUrl& url, const QByteArray& data);

private:
    void handleHints(const QByteArray& data);

    std::shared_ptr<::shared::TDownloadPool> m_downloadPool;
    TMainConfigurationFetch m_mainFetch;
    TBuildDocumentFetch m_documentFetch;
    ::shared::THint m_currentHint;
    std::vector<::shared::THint> m_hints;
};

} // namespace orvan::launcher
