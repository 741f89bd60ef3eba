#include "TPackageInstallation.h"

#include "filesystemhelper/TLinkFreePath.h"

#include "InstallationMetaTypes.h"
#include "TDiskSpaceRequirement.h"
#include "TFileScanWorker.h"
#include "TPackageFileDownloader.h"
#include "TPackageNetworkAccess.h"
#include "TReplacementJournal.h"
#include "TRunControl.h"
#include "TScanContext.h"
#include "TScratchFile.h"
#include "TThreadPoolWaitScope.h"
#include "TVerificationContext.h"
#include "TVerificationWorker.h"

#include "configuration/TPackage.h"
#include "network/TDownloadPool.h"
#include "settings/TLauncherFilesystemHelper.h"

#include <QDebug>
#include <QFutureSynchronizer>
#include <QFutureWatcher>
#include <QHash>
#include <QList>
#include <QNetworkAccessManager>
#include <QSet>
#include <QThread>
#include <QtConcurrent>

#include <algorithm>
#include <exception>
#include <utility>

namespace orvan::launcher {

namespace {

/// Offered files that share one path on disk (equal names, or names that resolve alike) can't be
/// scanned or written by separate tasks. Entries that describe the same content are queued once;
/// entries that disagree about the content, and names of the installation directory itself, are
/// invalid package data. Each path is resolved once and handed to the context with its file.
void queueFilesWithUniquePaths(const TFileInPackageVector& files, TScanContext& context,
                               TFileInPackageVector& conflicting)
{
    QHash<QString, std::vector<std::size_t>> positionsByPath;
    positionsByPath.reserve(static_cast<int>(files.size()));
    std::vector<QString> paths;
    paths.reserve(files.size());
    for (std::size_t position = 0; position < files.size(); ++position) {
        paths.push_back(context.pathOf(files[position].localFile));
        positionsByPath[paths.back()].push_back(position);
    }
    for (std::size_t position = 0; position < files.size(); ++position) {
        const TFileInPackage& file = files[position];
        const std::vector<std::size_t>& sharing = positionsByPath[paths[position]];
        if (context.isInstallationDirectory(paths[position])) {
            qWarning().noquote().nospace() << "package file name '" << file.localFile
                                           << "' names the installation directory; the file is not installed";
            conflicting.push_back(file);
            continue;
        }
        const bool agree = std::all_of(sharing.begin(), sharing.end(), [&](std::size_t other) {
            return files[other].unpackedSize == file.unpackedSize && files[other].unpackedHash == file.unpackedHash;
        });
        if (!agree) {
            qWarning().noquote().nospace()
                << "package lists different contents for " << paths[position] << "; the file is not installed";
            conflicting.push_back(file);
        } else if (sharing.front() == position) {
            context.addFile(file, paths[position]);
        }
    }
}

} // namespace

TPackageInstallation::TPackageInstallation(std::shared_ptr<TPackage> package,
                                           const std::shared_ptr<TLauncherFilesystemHelper>& helper)
    : m_package(std::move(package)), m_helper(helper), m_runControl(std::make_shared<TRunControl>())
{
    registerInstallationMetaTypes();
    auto manager = std::make_shared<TPackageNetworkAccess>(std::make_shared<QNetworkAccessManager>());
    // Without automatic release a chunk keeps its slot until it is written, which bounds the
    // downloaded data waiting in memory to the pool's limit.
    m_downloadPool = std::make_shared<shared::TDownloadPool>(m_helper->settings()->maxConcurrentDownloads,
                                                             std::move(manager), false);
    m_fileDownloader.reset(new TPackageFileDownloader(m_downloadPool, m_helper));
    m_fileDownloader->setMirrorLocations(TMirrorLocations::ofBuild(m_package->currentBuild()));
    connect(m_fileDownloader.get(), &TPackageFileDownloader::downloadCompleted, this,
            &TPackageInstallation::onDownloadCompleted);
    connect(m_fileDownloader.get(), &TPackageFileDownloader::downloadFailed, this,
            &TPackageInstallation::onDownloadFailed);
}

TPackageInstallation::~TPackageInstallation()
{
    // Paused tasks would never end; their results are dropped with the run anyway.
    if (isPaused())
        cancelBackgroundWork();
    // Background tasks emit this object's signals and read its state until they end.
    waitForBackgroundWork();
}

void TPackageInstallation::cancelBackgroundWork()
{
    m_runControl->cancel();
}

bool TPackageInstallation::backgroundWorkCancelled() const
{
    return m_runControl->isCancelled();
}

bool TPackageInstallation::isPaused() const
{
    return m_runControl->isPaused();
}

void TPackageInstallation::pause()
{
    // The run control holds the scan and verification tasks; the downloader follows it.
    if (!m_runControl->pause())
        return;
    m_fileDownloader->pause();
    qInfo().noquote() << "installation paused:" << m_package->name();
    emit pausedChanged(true);
}

void TPackageInstallation::resume()
{
    if (!m_runControl->resume())
        return;
    m_fileDownloader->resume();
    qInfo().noquote() << "installation resumed:" << m_package->name();
    emit pausedChanged(false);
}

void TPackageInstallation::waitForBackgroundWork()
{
    for (QFuture<void>& task : m_backgroundTasks)
        task.waitForFinished();
}

void TPackageInstallation::TDeleteLater::operator()(QObject* object) const
{
    if (object != nullptr)
        object->deleteLater();
}

void TPackageInstallation::onRequiredChangesComputedForInstallation(TPackageDifference changes)
{
    if (backgroundWorkCancelled()) {
        // A cancelled scan stopped part way: its lists are incomplete.
        qInfo() << "scan cancelled:" << m_package->name() << " Thread: " << QThread::currentThreadId();
        return;
    }
    qInfo() << "onRequiredChangesComputedForInstallation"
            << " files to download: " << changes.filesToDownload.size()
            << " files to delete: " << changes.filesToDelete.size() << " Thread: " << QThread::currentThreadId();
    m_filesToDownload = std::move(changes.filesToDownload);
    m_filesToDelete = std::move(changes.filesToDelete);
    m_filesWithInvalidPackageData = std::move(changes.filesWithInvalidPackageData);
    qInfo() << "startDownload: " << m_package->name() << " Thread: " << QThread::currentThreadId();
    try {
        // The launcher's own files stay until the new version is complete: the running one needs them.
        if (m_selfUpdateMode != ESelfUpdateMode::Launcher) {
            for (const QString& path : obsoletePaths())
                m_helper->removeFileOrFolder(path);
        }
        if (!m_filesToDownload.empty()) {
            if (refuseWithoutDiskSpace())
                return;
            // The downloader keeps its own copy of each entry: the scan's list is handed over.
            m_fileDownloader->downloadFiles(m_installationDirectory, static_cast<int>(m_selfUpdateMode),
                                            TFileToDownload::takeAsList(m_filesToDownload));
            return;
        }
    } catch (const std::runtime_error& error) {
        emit diskAccessFailed(QString::fromUtf8(error.what()));
        return;
    }
    // The run may end inside this call; nothing may touch the installation afterwards.
    onDownloadCompleted();
}

bool TPackageInstallation::refuseWithoutDiskSpace()
{
    const TDiskSpaceRequirement::THeldCopyLimits limits{
        m_helper->settings()->maxCachedChunks, m_fileDownloader->maxHeldBytes(), m_downloadPool->maxParallelRequests()};
    const TDiskSpaceRequirement requirement = TDiskSpaceRequirement::compute(
        m_filesToDownload, m_installationDirectory, m_helper->fileSystemHelper(), m_selfUpdateMode, limits);
    m_diskSpaceShortage =
        m_diskSpaceCheck.shortage(requirement.totalBytes(), m_installationDirectory, requirement.scratchBytes());
    if (!m_diskSpaceShortage)
        return false;
    // The markers still record a partial installation; the next run compares every file again.
    qWarning().noquote() << m_diskSpaceShortage->logText(m_package->name());
    m_filesToDownload.clear();
    // Ends through the event loop, as a failed download does: the player's box may run a loop of
    // its own, which must not find the difference's watcher still on the stack.
    QMetaObject::invokeMethod(
        this, [this] { onDownloadFailed(EPackageDownloaderError::NotEnoughDiskSpace); }, Qt::QueuedConnection);
    return true;
}

void TPackageInstallation::onDownloadCompleted()
{
    if (!m_filesWithInvalidPackageData.empty()) {
        // Reporting success would leave these files missing or outdated in a "complete" installation.
        for (const TFileInPackage& file : m_filesWithInvalidPackageData)
            qWarning() << "file" << file.localFile << "was not installed: the package data offers no usable download";
        onDownloadFailed(EPackageDownloaderError::DownloadFailed);
        return;
    }
    if (m_selfUpdateMode == ESelfUpdateMode::Launcher)
        retireObsoleteFiles();
    qInfo() << "onDownloadCompleted" << m_package->name() << " Thread: " << QThread::currentThreadId();
    m_installationSucceeded = true;
    m_errorReason = EPackageDownloaderError::None;
    emit downloadFinished(m_package);
}

QStringList TPackageInstallation::obsoletePaths() const
{
    QStringList paths;
    const auto& files = m_helper->fileSystemHelper();
    for (const TFileInPackage& file : m_filesToDelete) {
        const QString path = files.resolvePathInsideDirectory(m_installationDirectory, file.localFile);
        // Behind a link in the package folder lies somebody else's file.
        if (shared::TLinkFreePath::hasLinkedParent(m_installationDirectory.absolutePath(), path)) {
            qWarning() << "not deleting" << path << "behind a symbolic link";
            continue;
        }
        paths << path;
    }
    return paths;
}

void TPackageInstallation::retireObsoleteFiles() const
{
    // Moved aside, not deleted: a running launcher may still map them, and the next start removes them.
    QStringList names;
    try {
        for (const QString& path : obsoletePaths()) {
            const QFileInfo entry(path);
            // The launcher makes no folders at its files' names: one there is somebody else's.
            if (entry.isDir() && !entry.isSymLink())
                qWarning() << "not retiring" << path << ": a folder is in the way";
            else if (entry.exists() || entry.isSymLink())
                names << m_installationDirectory.relativeFilePath(path);
        }
        TReplacementJournal(m_installationDirectory).retire(names);
    } catch (const std::runtime_error& error) {
        // The new version is complete; a file it doesn't use can stay.
        qWarning() << "couldn't move the files of the old version aside:" << error.what();
    }
}

void TPackageInstallation::onDownloadFailed(EPackageDownloaderError errorReason)
{
    qInfo() << "onDownloadFailed" << m_package->name() << " " << static_cast<int>(errorReason)
            << " Thread: " << QThread::currentThreadId();
    m_errorReason = errorReason;
    m_installationSucceeded = false;
    emit downloadFinished(m_package);
}

QFuture<TPackageDifference>
TPackageInstallation::startComputingRequiredChanges(const TPackageConfigurationReader& offered,
                                                    const TPackageConfigurationReader& installed, bool fastScan)
{
    QFuture<TPackageDifference> future =
        QtConcurrent::run([this, directory = m_installationDirectory, helper = m_helper, offered, installed, fastScan] {
            return ComputeRequiredChanges(directory, helper, offered, installed, fastScan);
        });
    trackBackgroundTask(future);
    return future;
}

QFuture<TPackageDifference> TPackageInstallation::startComputingRequiredChanges(
    const TPackageConfigurationReader& offered, std::function<TPackageConfigurationReader()> readInstalled,
    std::function<bool(const TPackageConfigurationReader&)> usesFastScan)
{
    QFuture<TPackageDifference> future =
        QtConcurrent::run([this, directory = m_installationDirectory, helper = m_helper, offered,
                           readInstalled = std::move(readInstalled), usesFastScan = std::move(usesFastScan)] {
            const TPackageConfigurationReader installed = readInstalled();
            return ComputeRequiredChanges(directory, helper, offered, installed, usesFastScan(installed));
        });
    trackBackgroundTask(future);
    return future;
}

TPackageDifference TPackageInstallation::ComputeRequiredChanges(
    const QDir& directory, const std::shared_ptr<TLauncherFilesystemHelper>& helper,
    const TPackageConfigurationReader& offered, const TPackageConfigurationReader& installed, bool fastScan)
{
    // Only a kill in the instant between making and unlinking a scratch file leaves one behind.
    TScratchFile::removeLeftovers(directory.absolutePath());
    TPackageDifference difference;
    const TFileInPackageVector& offeredFiles = offered.files();
    const TScanContext paths(nullptr, {}, directory, helper, offered.chunks());
    QSet<QString> offeredPaths;
    for (const TFileInPackage& file : installed.files()) {
        if (offeredFiles.find(file.localFile) != offeredFiles.end())
            continue;
        // Only a file to delete needs the offered paths: a first installation resolves none.
        if (offeredPaths.isEmpty()) {
            for (const TFileInPackage& offeredFile : offeredFiles)
                offeredPaths.insert(paths.pathOf(offeredFile.localFile));
        }
        // A name that resolves onto a file of the offered version, or onto the directory itself,
        // must not be deleted after the scan has decided to keep that file.
        const QString path = paths.pathOf(file.localFile);
        if (paths.isInstallationDirectory(path) || offeredPaths.contains(path)) {
            qWarning().noquote().nospace() << "installed file " << file.localFile << " resolves to " << path
                                           << ", which the new version keeps; it is not deleted";
            continue;
        }
        difference.filesToDelete.push_back(file);
    }

    difference.filesToDownload = FindFilesInPackageBasedOnHashAndSizeThatNeedUpdate(
        offeredFiles, offered.chunks(), installed.files(), installed.chunks(), fastScan, directory, helper,
        &difference.filesWithInvalidPackageData);
    return difference;
}

std::vector<TFileToDownload> TPackageInstallation::FindFilesInPackageBasedOnHashAndSizeThatNeedUpdate(
    const TFileInPackageVector& offeredFiles, const TChunkInPackageVector& offeredChunks,
    const TFileInPackageVector& installedFiles, const TChunkInPackageVector& installedChunks, bool fastScan,
    const QDir& directory, const std::shared_ptr<TLauncherFilesystemHelper>& helper,
    TFileInPackageVector* filesWithInvalidPackageData)
{
    qInfo().noquote().nospace() << "scan of " << directory.absolutePath() << " for " << offeredFiles.size()
                                << " files, fast scan " << (fastScan ? "on" : "off")
                                << " Thread: " << QThread::currentThreadId();
    TScanContext context(
        m_runControl, [this](TFileSize done, TFileSize total) { emit scanProgress(done, total); }, directory, helper,
        offeredChunks);
    context.setKeepReplacedFilesAsOld(m_selfUpdateMode == ESelfUpdateMode::Launcher);
    TFileInPackageVector invalid;
    queueFilesWithUniquePaths(offeredFiles, context, invalid);
    context.sortLargestFirst();
    if (fastScan)
        context.setInstalledConfiguration(installedFiles, installedChunks);

    // Each task fills its own slot, so that the entries are moved out rather than copied out of a
    // future. Declared after the context and the slots: the synchronizer waits for every task.
    std::vector<TScanTaskResult> results(WorkerTaskCount);
    {
        QFutureSynchronizer<void> tasks;
        const TThreadPoolWaitScope waitScope;
        for (TScanTaskResult& result : results)
            tasks.addFuture(QtConcurrent::run([&context, &result] { result = TFileScanWorker(context).run(); }));
        tasks.waitForFinished();
    }

    std::size_t found = 0;
    for (const TScanTaskResult& result : results)
        found += result.filesToDownload.size();
    std::vector<TFileToDownload> filesToDownload;
    filesToDownload.reserve(found);
    for (TScanTaskResult& result : results) {
        for (TFileToDownload& file : result.filesToDownload) {
            if (!file.chunksToDownload.empty())
                filesToDownload.push_back(std::move(file));
        }
        std::vector<TFileToDownload>().swap(result.filesToDownload);
        invalid.insert(invalid.end(), result.filesWithInvalidPackageData.begin(),
                       result.filesWithInvalidPackageData.end());
    }
    if (filesWithInvalidPackageData != nullptr)
        filesWithInvalidPackageData->insert(filesWithInvalidPackageData->end(), invalid.begin(), invalid.end());
    return filesToDownload;
}

bool TPackageInstallation::VerifyPackage(const QDir& directory,
                                         const std::shared_ptr<TLauncherFilesystemHelper>& helper,
                                         const TFileInPackageVector& files)
{
    qInfo().noquote().nospace() << "VerifyPackage: " << directory.absolutePath()
                                << " Thread: " << QThread::currentThreadId();
    try {
        TVerificationContext context(
            m_runControl, [this](TFileSize done, TFileSize total) { emit verificationProgress(done, total); },
            directory, helper, files);
        QFutureSynchronizer<void> tasks;
        const TThreadPoolWaitScope waitScope;
        for (int task = 0; task < WorkerTaskCount; ++task)
            tasks.addFuture(QtConcurrent::run([&context] { TVerificationWorker(context).run(); }));
        tasks.waitForFinished();
        return context.result() && !context.checkpoint();
    } catch (const std::exception& error) {
        qWarning().noquote().nospace() << "verification of files crashed. exception: " << error.what();
        return false;
    }
}

void TPackageInstallation::startVerification(const TPackageConfigurationReader& configuration, bool requestedByUser)
{
    if (!requestedByUser && m_helper->settings()->skipVerification) {
        onVerifyFinished(true);
        return;
    }
    auto* watcher = new QFutureWatcher<bool>(this);
    connect(watcher, &QFutureWatcher<bool>::finished, this, [this, watcher] {
        const bool result = watcher->future().resultCount() > 0 && watcher->result();
        // The handler may end this installation; the watcher must not go down with it mid-signal.
        watcher->setParent(nullptr);
        watcher->deleteLater();
        if (backgroundWorkCancelled()) {
            qInfo() << "verification cancelled:" << m_package->name() << " Thread: " << QThread::currentThreadId();
            return;
        }
        onVerifyFinished(result);
    });
    const QFuture<bool> future =
        QtConcurrent::run([this, directory = m_installationDirectory, helper = m_helper, configuration] {
            return VerifyPackage(directory, helper, configuration.files());
        });
    trackBackgroundTask(future);
    watcher->setFuture(future);
}

void TPackageInstallation::onVerifyFinished(bool result)
{
    qInfo().noquote().nospace() << "onVerifyFinished with " << (result ? "true" : "false")
                                << " Thread: " << QThread::currentThreadId();
    m_installationSucceeded = result;
    m_errorReason = result ? EPackageDownloaderError::None : EPackageDownloaderError::VerificationFailed;
    emit verificationFinished(m_package);
}

void TPackageInstallation::trackBackgroundTask(const QFuture<void>& future)
{
    m_backgroundTasks.erase(std::remove_if(m_backgroundTasks.begin(), m_backgroundTasks.end(),
                                           [](const QFuture<void>& task) { return task.isFinished(); }),
                            m_backgroundTasks.end());
    m_backgroundTasks.push_back(future);
}

} // namespace orvan::launcher
