#include "TLauncherSelfUpdater.h"

#include "configuration/TLauncherConfigurationReader.h"
#include "configuration/TPackage.h"
#include "configuration/TPackageConfigurationReader.h"
#include "installation/TPackageInstallation.h"
#include "installationmanager/TInstallationManager.h"
#include "settings/TLauncherFilesystemHelper.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <stdexcept>

namespace orvan::launcher {

const QString TLauncherSelfUpdater::backupSuffix = QStringLiteral(".old");

TLauncherSelfUpdater::TLauncherSelfUpdater(std::shared_ptr<TLauncherFilesystemHelper> FilesystemHelper)
    : m_filesystemHelper(std::move(FilesystemHelper))
{}

TLauncherSelfUpdater::~TLauncherSelfUpdater() = default;

QString TLauncherSelfUpdater::offeredVersion(const TLauncherConfigurationReader& Configuration)
{
    const auto& launcherPackage = Configuration.launcherPackage();
    if (!launcherPackage)
        return QString();
    const auto offered = launcherPackage->currentConfiguration();
    if (!offered)
        return QString();
    return offered->version().isEmpty() ? QStringLiteral("?") : offered->version();
}

bool TLauncherSelfUpdater::isUpdateOffered(const TLauncherConfigurationReader& Configuration,
                                           const QString& RunningVersion)
{
    const QString offered = offeredVersion(Configuration);
    return !offered.isEmpty() && offered != RunningVersion;
}

void TLauncherSelfUpdater::startSelfUpdate(const std::shared_ptr<TLauncherConfigurationReader>& Configuration)
{
    m_launcherPackage = Configuration->launcherPackage();
    qInfo() << "startSelfUpdate " << m_launcherPackage->name() << " Thread: " << QThread::currentThreadId();
    m_installationManager = std::make_unique<TInstallationManager>(Configuration, m_filesystemHelper);
    connect(m_installationManager.get(), &TInstallationManager::installationOrUpdateFinished, this,
            &TLauncherSelfUpdater::onInstallationOrUpdateFinished);
    m_installationManager->setSelfUpdateMode(1);
    m_installationManager->installOrUpdatePackage(m_launcherPackage);
}

void TLauncherSelfUpdater::cleanupOldLauncherVersion() const
{
    qInfo() << "cleanupOldLauncherVersion"
            << " Thread: " << QThread::currentThreadId();
    const auto& files = m_filesystemHelper->fileSystemHelper();
    const QString programDirectory = QDir(QCoreApplication::applicationDirPath()).absolutePath();
    for (const auto& file : files.listFilesInDirectory(programDirectory)) {
        if (file.filePath.endsWith(backupSuffix))
            files.deleteFile(file.filePath);
    }
}

void TLauncherSelfUpdater::onInstallationOrUpdateFinished(const TPackageInstallation& InstallationInProgress)
{
    if (InstallationInProgress.installationSucceeded()) {
        emit updateDownloadFinishedAndRestartRequired();
        return;
    }
    try {
        const QString executable = m_installationManager->clientExecutablePath(m_launcherPackage);
        if (!executable.isEmpty() && QFileInfo::exists(executable + backupSuffix))
            m_filesystemHelper->moveFile(executable + backupSuffix, executable);
    } catch (const std::runtime_error& error) {
        emit diskAccessFailed(QString::fromUtf8(error.what()));
        return;
    }
    qCritical() << "Updating Quenmar Online failed: Error" << InstallationInProgress.errorReason();
    emit updateFailed();
}

} // namespace orvan::launcher
