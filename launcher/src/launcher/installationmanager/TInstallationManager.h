#pragma once

#include "installation/ESelfUpdateMode.h"

#include "TCaseCollisions.h"
#include "TInstallationMarkers.h"

#include <QDir>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace shared {
class TDownloadRateLimiter;
}

namespace orvan::launcher {

class TDownloadPreferences;
class TLauncherConfigurationReader;
class TLauncherFilesystemHelper;
class TPackage;
class TPackageConfigurationReader;
class TPackageInstallation;

/// Runs installations: one TPackageInstallation per running installation, update or requested
/// verification, which it moves through difference, download and verification, keeping the
/// package's markers (TInstallationMarkers) in step: partial from the start of a run, full once
/// its last file is verified. Several packages may run at once; a second request for a running
/// package is ignored. Runs on the main thread.
class TInstallationManager : public QObject
{
    Q_OBJECT

public:
    /// Funnel milestones requested through funnelEventRequested.
    static const QString FunnelStepDownloaded;
    static const QString FunnelKeyDownloaded;
    static const QString FunnelStepVerified;
    static const QString FunnelKeyVerified;

    /// Refreshes every package's status from the disk and picks the default package.
    TInstallationManager(std::shared_ptr<TLauncherConfigurationReader> configuration,
                         std::shared_ptr<TLauncherFilesystemHelper> launcherFilesystemHelper);
    ~TInstallationManager() override;

    /// Starts installing or updating Package to its offered configuration. Returns without a run
    /// when the package is already running or has no offered configuration. Marker errors before
    /// the run exists are thrown to the caller.
    void installOrUpdatePackage(std::shared_ptr<TPackage> package);
    /// Starts a verification of the installed files that the user asked for (no download).
    void verifyPackage(std::shared_ptr<TPackage> package);
    /// The run of Package that is under way; null when there is none.
    std::shared_ptr<TPackageInstallation> findRunning(const std::shared_ptr<TPackage>& package) const;
    /// The running installations in start order.
    const std::vector<std::shared_ptr<TPackageInstallation>>& runningInstallations() const
    {
        return m_runningInstallations;
    }

    QDir packageDirectory(const std::shared_ptr<TPackage>& package) const;
    /// Copies the per-user account group file into the client's settings folder when it exists.
    void copyAccountGroupFile(const std::shared_ptr<TPackage>& package) const;

    /// Makes Package the default client package; an empty pointer clears the default.
    void setDefaultPackage(const std::shared_ptr<TPackage>& package);
    std::shared_ptr<TPackage> defaultPackage() const;
    /// The client executable of the package's current build, empty when unknown.
    QString clientExecutablePath(const std::shared_ptr<TPackage>& package) const;

    std::shared_ptr<TLauncherConfigurationReader> configuration() const { return m_configuration; }
    std::shared_ptr<TLauncherFilesystemHelper> launcherFilesystemHelper() const { return m_pLauncherFilesystemHelper; }
    ESelfUpdateMode selfUpdateMode() const { return m_selfUpdateMode; }
    /// Launcher while the launcher updates its own package; copied into every installation started later.
    void setSelfUpdateMode(ESelfUpdateMode selfUpdateMode) { m_selfUpdateMode = selfUpdateMode; }
    /// Refuses packages whose paths differ only in case where the file system ignores case; tests
    /// replace its probe.
    TCaseCollisions& caseCollisions() { return m_caseCollisions; }
    /// Every run, running or started later, downloads through limiter and with the parallel downloads
    /// of preferences, which it follows as they change. Without it runs keep the settings file's count.
    void setDownloadPreferences(TDownloadPreferences* preferences,
                                std::shared_ptr<::shared::TDownloadRateLimiter> limiter);

signals:
    // NOLINTBEGIN(readability-identifier-naming)
    void installationOrUpdateStarted(const TPackageInstallation& InstallationInProgress);
    /// The run ended; its installationSucceeded() and errorReason() tell how.
    void installationOrUpdateFinished(const TPackageInstallation& InstallationInProgress);
    void allStartedUpdatesFinished();
    void diskAccessFailed(QString ErrorMessage);
    /// Asks the application to send a funnel event (its sendFunnelEvent(step, first-time key)).
    void funnelEventRequested(QString Step, QString FirstSettingsKey);
    // NOLINTEND(readability-identifier-naming)

private slots:
    void onDiskAccessFailed(QString errorMessage);
    void onDownloadFinished(std::shared_ptr<TPackage> packageBeingInstalled);
    void onVerificationFinished(std::shared_ptr<TPackage> packageBeingInstalled);

private:
    /// Moves the markers to partial and creates the run for Package, which has an offered configuration.
    std::shared_ptr<TPackageInstallation> createInstallation(const std::shared_ptr<TPackage>& package,
                                                             const QDir& directory,
                                                             const QString& installedVersionText);
    /// True when the offered configuration of Package lists files on the launcher's own names, or
    /// files that the directory's file system can't tell apart: then a run is announced that fails
    /// as invalid package data without touching the directory.
    bool refuseReservedFileNames(const std::shared_ptr<TPackage>& package, const QDir& directory);
    /// Registers a created run and emits installationOrUpdateStarted.
    void announce(const std::shared_ptr<TPackageInstallation>& installation);
    using TReadInstalled = std::function<TPackageConfigurationReader()>;
    using TUsesFastScan = std::function<bool(const TPackageConfigurationReader&)>;
    /// Starts the difference of the run on the pool; the installed configuration is made there by
    /// readInstalled, which leaves its version text in installedVersion for the run.
    void startDifferenceComputation(const std::shared_ptr<TPackageInstallation>& installation,
                                    TReadInstalled readInstalled, TUsesFastScan usesFastScan,
                                    const std::shared_ptr<QString>& installedVersion);
    void endRun(const std::shared_ptr<TPackageInstallation>& installation);
    void applyDownloadPreferences(const TPackageInstallation& installation) const;

    std::shared_ptr<TLauncherConfigurationReader> m_configuration;
    std::shared_ptr<TLauncherFilesystemHelper> m_pLauncherFilesystemHelper;
    TInstallationMarkers m_markers;
    std::vector<std::shared_ptr<TPackageInstallation>> m_runningInstallations;
    ESelfUpdateMode m_selfUpdateMode = ESelfUpdateMode::Off;
    TCaseCollisions m_caseCollisions;
    QPointer<TDownloadPreferences> m_downloadPreferences;
    std::shared_ptr<::shared::TDownloadRateLimiter> m_rateLimiter;
    QMetaObject::Connection m_downloadPreferencesConnection;
};

} // namespace orvan::launcher
