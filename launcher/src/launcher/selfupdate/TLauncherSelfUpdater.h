#pragma once

#include <QObject>
#include <QString>

#include <memory>

namespace orvan::launcher {

class TInstallationManager;
class TLauncherConfigurationReader;
class TLauncherFilesystemHelper;
class TPackage;
class TPackageInstallation;

/// Installs the launcher package into the program's own folder (files in use are moved aside to
/// ".old" names) and reports whether the launcher must restart; restores the executable when the
/// update failed. Also removes the ".old" files a previous update left behind.
class TLauncherSelfUpdater : public QObject
{
    Q_OBJECT

public:
    static const QString backupSuffix;

    explicit TLauncherSelfUpdater(std::shared_ptr<TLauncherFilesystemHelper> FilesystemHelper);
    ~TLauncherSelfUpdater() override;

    /// The version the configuration offers for the launcher ("?" when empty), or an empty string
    /// when it offers no launcher package for this platform.
    static QString offeredVersion(const TLauncherConfigurationReader& Configuration);
    /// Whether the offered launcher differs from the running one.
    static bool isUpdateOffered(const TLauncherConfigurationReader& Configuration, const QString& RunningVersion);

    /// Starts installing the launcher package of Configuration in self-update mode.
    void startSelfUpdate(const std::shared_ptr<TLauncherConfigurationReader>& Configuration);
    /// Deletes every "*.old" file of the program folder; throws std::runtime_error on failure.
    void cleanupOldLauncherVersion() const;

    TInstallationManager* installationManager() const { return m_installationManager.get(); }

signals:
    void updateDownloadFinishedAndRestartRequired();
    void updateFailed();
    void diskAccessFailed(QString ErrorMessage);

public slots:
    void onInstallationOrUpdateFinished(const orvan::launcher::TPackageInstallation& InstallationInProgress);

private:
    std::shared_ptr<TLauncherFilesystemHelper> m_filesystemHelper;
    std::unique_ptr<TInstallationManager> m_installationManager;
    std::shared_ptr<TPackage> m_launcherPackage;
};

} // namespace orvan::launcher
