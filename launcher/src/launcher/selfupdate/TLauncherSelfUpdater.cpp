#include "TLauncherSelfUpdater.h"

#include "configuration/TLauncherConfigurationReader.h"
#include "configuration/TPackage.h"
#include "configuration/TPackageConfigurationReader.h"
#include "installation/TPackageInstallation.h"
#include "installation/TReplacementJournal.h"
#include "installation/TScratchFile.h"
#include "installationmanager/TInstallationManager.h"
#include "settings/TDownloadPreferences.h"
#include "settings/TLauncherFilesystemHelper.h"
#include "settings/TLauncherSettings.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QThread>

#include <stdexcept>

namespace orvan::launcher {

const QString TLauncherSelfUpdater::backupSuffix = QStringLiteral(".old");

namespace {

bool isFileOrLink(const QString& path)
{
    const QFileInfo entry(path);
    return entry.isFile() || entry.isSymLink();
}

} // namespace

TLauncherSelfUpdater::TLauncherSelfUpdater(std::shared_ptr<TLauncherFilesystemHelper> filesystemHelper)
    : m_filesystemHelper(std::move(filesystemHelper))
{}

TLauncherSelfUpdater::~TLauncherSelfUpdater() = default;

QString TLauncherSelfUpdater::offeredVersion(const TLauncherConfigurationReader& configuration)
{
    const auto& launcherPackage = configuration.launcherPackage();
    if (!launcherPackage)
        return QString();
    const auto offered = launcherPackage->currentConfiguration();
    if (!offered)
        return QString();
    return offered->version().isEmpty() ? QStringLiteral("?") : offered->version();
}

bool TLauncherSelfUpdater::isUpdateOffered(const TLauncherConfigurationReader& configuration,
                                           const QString& runningVersion)
{
    const QString offered = offeredVersion(configuration);
    return !offered.isEmpty() && offered != runningVersion;
}

bool TLauncherSelfUpdater::isProgramFolderWritable()
{
    // A probe without a name: a kill can't leave it in the program folder.
    return TScratchFile(QCoreApplication::applicationDirPath()).isOpen();
}

void TLauncherSelfUpdater::startSelfUpdate(const std::shared_ptr<TLauncherConfigurationReader>& configuration)
{
    m_launcherPackage = configuration->launcherPackage();
    qInfo() << "startSelfUpdate " << m_launcherPackage->name() << " Thread: " << QThread::currentThreadId();
    finishInterruptedReplacement();
    // A backup of an older version must not be taken for one of this update.
    removeBackups(launcherFileNames(configuration));
    m_installationManager = std::make_unique<TInstallationManager>(configuration, m_filesystemHelper);
    connect(m_installationManager.get(), &TInstallationManager::installationOrUpdateFinished, this,
            &TLauncherSelfUpdater::onInstallationOrUpdateFinished);
    m_installationManager->setSelfUpdateMode(ESelfUpdateMode::Launcher);
    if (m_downloadPreferences)
        m_installationManager->setDownloadPreferences(m_downloadPreferences, m_rateLimiter);
    m_installationManager->installOrUpdatePackage(m_launcherPackage);
}

void TLauncherSelfUpdater::setDownloadPreferences(TDownloadPreferences* preferences,
                                                  std::shared_ptr<::shared::TDownloadRateLimiter> limiter)
{
    m_downloadPreferences = preferences;
    m_rateLimiter = std::move(limiter);
}

void TLauncherSelfUpdater::cleanupOldLauncherVersion(
    const std::shared_ptr<TLauncherConfigurationReader>& configuration) const
{
    qInfo() << "cleanupOldLauncherVersion"
            << " Thread: " << QThread::currentThreadId();
    finishInterruptedReplacement();
    removeBackups(launcherFileNames(configuration));
}

void TLauncherSelfUpdater::finishInterruptedReplacement() const
{
    TReplacementJournal(QDir(QCoreApplication::applicationDirPath())).resume();
}

QSet<QString>
TLauncherSelfUpdater::launcherFileNames(const std::shared_ptr<TLauncherConfigurationReader>& configuration) const
{
    QSet<QString> names{QFileInfo(QCoreApplication::applicationFilePath()).fileName()};
    const auto addFiles = [&names](const TPackageConfigurationReader& package) {
        for (const auto& file : package.files())
            names.insert(file.localFile);
    };
    const QDir programDirectory(QCoreApplication::applicationDirPath());
    const auto& files = m_filesystemHelper->fileSystemHelper();
    const auto& settings = *m_filesystemHelper->settings();
    for (const QString& marker : {settings.packageFile, settings.partialPackageFile}) {
        const QByteArray document = files.readFileIfPresent(files.resolvePathInsideDirectory(programDirectory, marker));
        if (!document.isEmpty())
            addFiles(TPackageConfigurationReader(document, QByteArray(), QUrl(), QUrl()));
    }
    if (configuration && configuration->launcherPackage()) {
        if (const auto offered = configuration->launcherPackage()->currentConfiguration())
            addFiles(*offered);
    }
    // Files that the last update moved aside because its version has them no more.
    for (const QString& retired : TReplacementJournal(programDirectory).retiredFiles())
        names.insert(retired);
    return names;
}

void TLauncherSelfUpdater::removeBackups(const QSet<QString>& localFiles) const
{
    const auto& files = m_filesystemHelper->fileSystemHelper();
    const QDir programDirectory(QDir(QCoreApplication::applicationDirPath()).absolutePath());
    for (const QString& localFile : localFiles) {
        const QString path = files.resolvePathInsideDirectory(programDirectory, localFile);
        const QString backup = path + backupSuffix;
        // Only files are ever made as backups; a folder of that name is somebody else's.
        if (isFileOrLink(backup))
            files.deleteFile(backup);
        const QString unfinished = TReplacementJournal::temporaryPathOf(path);
        if (isFileOrLink(unfinished))
            QFile::remove(unfinished);
    }
    TReplacementJournal(programDirectory).forgetRetired();
}

void TLauncherSelfUpdater::onInstallationOrUpdateFinished(const TPackageInstallation& installationInProgress)
{
    if (installationInProgress.installationSucceeded()) {
        emit updateDownloadFinishedAndRestartRequired();
        return;
    }
    try {
        const QString executable = m_installationManager->clientExecutablePath(m_launcherPackage);
        if (!executable.isEmpty() && isFileOrLink(executable + backupSuffix) &&
            !(QFileInfo(executable).isDir() && !QFileInfo(executable).isSymLink()))
            m_filesystemHelper->moveFile(executable + backupSuffix, executable);
    } catch (const std::runtime_error& error) {
        emit diskAccessFailed(QString::fromUtf8(error.what()));
        return;
    }
    qCritical() << "Updating Quenmar Online failed: Error" << static_cast<int>(installationInProgress.errorReason());
    emit updateFailed();
}

} // namespace orvan::launcher
