#pragma once

#include "EPackageDownloaderError.h"
#include "ESelfUpdateMode.h"
#include "TDiskSpaceCheck.h"
#include "TDiskSpaceShortage.h"
#include "TFileToDownload.h"
#include "TPackageDifference.h"

#include "configuration/TChunkInPackageVector.h"
#include "configuration/TFileInPackageVector.h"
#include "configuration/TFileSize.h"
#include "configuration/TPackageConfigurationReader.h"

#include <QDir>
#include <QFuture>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace shared {
class TDownloadPool;
}

namespace orvan::launcher {

class TInstallationManager;
class TLauncherFilesystemHelper;
class TPackage;
class TPackageFileDownloader;
class TRunControl;

/// One run of installing, updating or verifying a package: computes what differs between the
/// offered configuration and the installation directory (reusing local chunk data in place),
/// downloads and writes the missing chunks through its own download pool and file downloader,
/// and verifies the installed files. Lives on the GUI thread; its background work runs on the
/// global thread pool, and its destructor waits for every task it started.
class TPackageInstallation : public QObject
{
    Q_OBJECT

    // The manager hands the difference it had computed to the private slot.
    friend class TInstallationManager;

public:
    /// The number of parallel scanning tasks and of verification tasks.
    static constexpr int WorkerTaskCount = 6;

    TPackageInstallation(std::shared_ptr<TPackage> package, const std::shared_ptr<TLauncherFilesystemHelper>& helper);
    ~TPackageInstallation() override;

    const std::shared_ptr<TPackage>& package() const { return m_package; }
    /// The downloader of this installation; the window reads its progress and download rate.
    TPackageFileDownloader* fileDownloader() const { return m_fileDownloader.get(); }
    /// The installation's own pool (limit maxConcurrentDownloads, no automatic release).
    const std::shared_ptr<::shared::TDownloadPool>& downloadPool() const { return m_downloadPool; }
    const std::shared_ptr<TLauncherFilesystemHelper>& helper() const { return m_helper; }
    bool installationSucceeded() const { return m_installationSucceeded; }
    /// Why the run failed; None while nothing failed.
    EPackageDownloaderError errorReason() const { return m_errorReason; }
    ESelfUpdateMode selfUpdateMode() const { return m_selfUpdateMode; }
    void setSelfUpdateMode(ESelfUpdateMode selfUpdateMode) { m_selfUpdateMode = selfUpdateMode; }
    const QString& installedVersionText() const { return m_installedVersionText; }
    void setInstalledVersionText(const QString& text) { m_installedVersionText = text; }
    const QString& offeredVersionText() const { return m_offeredVersionText; }
    void setOfferedVersionText(const QString& text) { m_offeredVersionText = text; }
    const QDir& installationDirectory() const { return m_installationDirectory; }
    void setInstallationDirectory(const QDir& directory) { m_installationDirectory = directory; }
    const TFileInPackageVector& filesToDelete() const { return m_filesToDelete; }
    /// Measures the free space before the downloads start; tests replace its free-space figure.
    TDiskSpaceCheck& diskSpaceCheck() { return m_diskSpaceCheck; }
    /// Set when the run ended as NotEnoughDiskSpace.
    const std::optional<TDiskSpaceShortage>& diskSpaceShortage() const { return m_diskSpaceShortage; }

    /// Asks the scan and verification tasks to stop at their next file or read portion. Their
    /// results are dropped: the run takes no further step and leaves the files as they are, so
    /// its markers stay partial and the next run compares every file again. Any thread.
    void cancelBackgroundWork();
    bool backgroundWorkCancelled() const;

    /// Holds the run where it is: the downloader stops asking for chunks and drops its running
    /// requests, and the scan and verification tasks wait at their next file or read portion.
    /// What was written stays. Emits pausedChanged. Ignored after cancellation.
    void pause();
    /// Lets a paused run go on; chunks that were written are not downloaded again.
    void resume();
    bool isPaused() const;
    /// Blocks until every task that this installation started has ended.
    void waitForBackgroundWork();
    /// Empty once the files were handed to the downloader.
    const std::vector<TFileToDownload>& filesToDownload() const { return m_filesToDownload; }

    /// Runs ComputeRequiredChanges on the global thread pool for the installation directory and
    /// helper of this installation; the destructor waits for it. Give the future to a watcher
    /// owned by the GUI thread.
    QFuture<TPackageDifference> startComputingRequiredChanges(const TPackageConfigurationReader& offered,
                                                              const TPackageConfigurationReader& installed,
                                                              bool fastScan);
    /// As above, with the installed configuration made on the pool by readInstalled and the fast
    /// scan used when usesFastScan says so for it.
    QFuture<TPackageDifference>
    startComputingRequiredChanges(const TPackageConfigurationReader& offered,
                                  std::function<TPackageConfigurationReader()> readInstalled,
                                  std::function<bool(const TPackageConfigurationReader&)> usesFastScan);

    /// The difference between the offered configuration and Directory (blocks; runs outside the
    /// GUI thread). Files that must be fetched whole are deleted, and chunk data found at other
    /// places of a file is moved into place, before this returns. Never throws for a file that
    /// can't be read or rebuilt: such a file is fetched whole.
    TPackageDifference ComputeRequiredChanges(const QDir& directory,
                                              const std::shared_ptr<TLauncherFilesystemHelper>& helper,
                                              const TPackageConfigurationReader& offered,
                                              const TPackageConfigurationReader& installed, bool fastScan);

    /// The offered files that need at least one download, found by six scanning tasks (blocks
    /// until they end). fastScan takes the chunk lists of installedFiles instead of reading the
    /// local copies where it can. Offered files without any usable source are appended to
    /// filesWithInvalidPackageData when given.
    std::vector<TFileToDownload> FindFilesInPackageBasedOnHashAndSizeThatNeedUpdate(
        const TFileInPackageVector& offeredFiles, const TChunkInPackageVector& offeredChunks,
        const TFileInPackageVector& installedFiles, const TChunkInPackageVector& installedChunks, bool fastScan,
        const QDir& directory, const std::shared_ptr<TLauncherFilesystemHelper>& helper,
        TFileInPackageVector* filesWithInvalidPackageData = nullptr);

    /// True when every file of Files is present in Directory with its SHA-256 (blocks; six tasks).
    bool VerifyPackage(const QDir& directory, const std::shared_ptr<TLauncherFilesystemHelper>& helper,
                       const TFileInPackageVector& files);

    /// Verifies the files of Configuration in the installation directory in the background and
    /// ends with verificationFinished. Unless requestedByUser, the setting skipVerification ends
    /// it at once as successful, before this returns; the installation may then already be gone,
    /// so callers must not touch it afterwards.
    void startVerification(const TPackageConfigurationReader& configuration, bool requestedByUser);

signals:
    // NOLINTBEGIN(readability-identifier-naming)
    void scanProgress(TFileSize BytesDownloaded, TFileSize BytesTotal);
    /// For the window; nothing in the installation emits it.
    void writeProgress(TFileSize BytesDownloaded, TFileSize BytesTotal);
    void verificationProgress(TFileSize BytesDownloaded, TFileSize BytesTotal);
    /// The download step ended; installationSucceeded() and errorReason() tell how.
    void downloadFinished(std::shared_ptr<TPackage> PackageBeingInstalled);
    void verificationFinished(std::shared_ptr<TPackage> PackageBeingInstalled);
    void diskAccessFailed(QString Message);
    void pausedChanged(bool Paused);
    // NOLINTEND(readability-identifier-naming)

private slots:
    void onDownloadCompleted();
    void onDownloadFailed(EPackageDownloaderError errorReason);
    /// Deletes the obsolete files and starts the downloads of Changes (or ends the step at once).
    void onRequiredChangesComputedForInstallation(TPackageDifference changes);
    void onVerifyFinished(bool result);

private:
    /// Deletes the downloader later: the installation may end inside one of its signals.
    struct TDeleteLater
    {
        void operator()(QObject* object) const;
    };

    /// The paths of the files the offered version no longer has, except those behind links.
    QStringList obsoletePaths() const;
    /// Self-update mode, after a complete run: moves the obsolete files to their ".old" names.
    void retireObsoleteFiles() const;
    /// Ends the run, from the event loop, as NotEnoughDiskSpace before anything is downloaded when the files to
    /// download and the downloader's temporary copies don't fit; true when it did.
    bool refuseWithoutDiskSpace();
    /// Keeps Future so that the destructor can wait for it; finished ones are dropped.
    void trackBackgroundTask(const QFuture<void>& future);

    std::shared_ptr<TPackage> m_package;
    std::shared_ptr<::shared::TDownloadPool> m_downloadPool;
    std::unique_ptr<TPackageFileDownloader, TDeleteLater> m_fileDownloader;
    std::shared_ptr<TLauncherFilesystemHelper> m_helper;
    bool m_installationSucceeded = false;
    EPackageDownloaderError m_errorReason = EPackageDownloaderError::None;
    ESelfUpdateMode m_selfUpdateMode = ESelfUpdateMode::Off;
    QString m_installedVersionText;
    QString m_offeredVersionText;
    QDir m_installationDirectory;
    TFileInPackageVector m_filesToDelete;
    std::vector<TFileToDownload> m_filesToDownload;
    /// Offered files that the package data gives no usable source for: the run can't succeed.
    TFileInPackageVector m_filesWithInvalidPackageData;
    TDiskSpaceCheck m_diskSpaceCheck;
    std::optional<TDiskSpaceShortage> m_diskSpaceShortage;
    std::vector<QFuture<void>> m_backgroundTasks;
    /// Shared with the scan and verification tasks, which may outlive a step but not the run.
    std::shared_ptr<TRunControl> m_runControl;
};

} // namespace orvan::launcher
