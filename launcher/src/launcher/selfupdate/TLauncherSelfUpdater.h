#pragma once

#include <QObject>
#include <QPointer>
#include <QSet>
#include <QString>

#include <memory>

namespace shared {
class TDownloadRateLimiter;
}

namespace orvan::launcher {

class TDownloadPreferences;
class TInstallationManager;
class TLauncherConfigurationReader;
class TLauncherFilesystemHelper;
class TPackage;
class TPackageInstallation;

/// Installs the launcher package into the program's own folder (the new files are swapped in when
/// all of them arrived; the replaced ones stay under ".old" names) and reports whether the launcher
/// must restart; restores the executable when the update failed. Also finishes a swap that was cut
/// short and removes the ".old" backups a previous update left behind.
class TLauncherSelfUpdater : public QObject
{
    Q_OBJECT

public:
    static const QString backupSuffix;

    explicit TLauncherSelfUpdater(std::shared_ptr<TLauncherFilesystemHelper> filesystemHelper);
    ~TLauncherSelfUpdater() override;

    /// The version the configuration offers for the launcher ("?" when empty), or an empty string
    /// when it offers no launcher package for this platform.
    static QString offeredVersion(const TLauncherConfigurationReader& configuration);
    /// Whether the offered launcher differs from the running one.
    static bool isUpdateOffered(const TLauncherConfigurationReader& configuration, const QString& runningVersion);

    /// Whether new files can be made in the running program's folder. Tried with a probe file rather
    /// than judged from the permission bits, which say nothing about root, read-only mounts or
    /// immutable folders.
    static bool isProgramFolderWritable();

    /// Starts installing the launcher package of Configuration in self-update mode.
    void startSelfUpdate(const std::shared_ptr<TLauncherConfigurationReader>& configuration);
    /// Deletes the backups ("<name>.old") and unfinished new versions of the launcher package's
    /// files in the program folder, as named by the installed markers, by the offered launcher
    /// package of Configuration (which may be null) and by the running program; other files stay.
    /// Throws std::runtime_error when a backup can't be deleted.
    void cleanupOldLauncherVersion(const std::shared_ptr<TLauncherConfigurationReader>& configuration) const;

    TInstallationManager* installationManager() const { return m_installationManager.get(); }
    /// Handed to the installation manager of the update (see TInstallationManager).
    void setDownloadPreferences(TDownloadPreferences* preferences,
                                std::shared_ptr<::shared::TDownloadRateLimiter> limiter);

signals:
    // NOLINTBEGIN(readability-identifier-naming)
    void updateDownloadFinishedAndRestartRequired();
    void updateFailed();
    void diskAccessFailed(QString ErrorMessage);
    // NOLINTEND(readability-identifier-naming)

public slots:
    void onInstallationOrUpdateFinished(const orvan::launcher::TPackageInstallation& installationInProgress);

private:
    /// Finishes an interrupted swap of new launcher files, if there is one.
    void finishInterruptedReplacement() const;
    QSet<QString> launcherFileNames(const std::shared_ptr<TLauncherConfigurationReader>& configuration) const;
    void removeBackups(const QSet<QString>& localFiles) const;

    std::shared_ptr<TLauncherFilesystemHelper> m_filesystemHelper;
    std::unique_ptr<TInstallationManager> m_installationManager;
    std::shared_ptr<TPackage> m_launcherPackage;
    QPointer<TDownloadPreferences> m_downloadPreferences;
    std::shared_ptr<::shared::TDownloadRateLimiter> m_rateLimiter;
};

} // namespace orvan::launcher
