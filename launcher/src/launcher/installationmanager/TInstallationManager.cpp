#include "TInstallationManager.h"

#include "TReservedFileNames.h"

#include "configuration/ELocalPackageStatus.h"
#include "configuration/TLauncherConfigurationReader.h"
#include "configuration/TPackage.h"
#include "configuration/TPackageBuild.h"
#include "configuration/TPackageConfigurationReader.h"
#include "configuration/VersionText.h"
#include "installation/EPackageDownloaderError.h"
#include "installation/TPackageDifference.h"
#include "installation/TPackageInstallation.h"
#include "network/TDownloadPool.h"
#include "settings/TDownloadPreferences.h"
#include "settings/TLauncherFilesystemHelper.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFutureWatcher>
#include <QThread>

#include <algorithm>

namespace orvan::launcher {

const QString TInstallationManager::FunnelStepDownloaded = QStringLiteral("launcher_downloaded");
const QString TInstallationManager::FunnelKeyDownloaded = QStringLiteral("FunnelFinishedDownloadingFirst");
const QString TInstallationManager::FunnelStepVerified = QStringLiteral("launcher_verified");
const QString TInstallationManager::FunnelKeyVerified = QStringLiteral("FunnelFinished_VerifyingFirst");

TInstallationManager::TInstallationManager(std::shared_ptr<TLauncherConfigurationReader> configuration,
                                           std::shared_ptr<TLauncherFilesystemHelper> launcherFilesystemHelper)
    : m_configuration(std::move(configuration)), m_pLauncherFilesystemHelper(std::move(launcherFilesystemHelper)),
      m_markers(m_pLauncherFilesystemHelper)
{
    m_markers.loadStatuses(m_configuration->packages());
}

TInstallationManager::~TInstallationManager() = default;

void TInstallationManager::installOrUpdatePackage(std::shared_ptr<TPackage> package)
{
    qInfo() << "installOrUpdatePackage: " << package->name() << " Thread: " << QThread::currentThreadId();
    if (findRunning(package) || !package->currentConfiguration())
        return;
    const QDir directory = packageDirectory(package);
    if (refuseReservedFileNames(package, directory))
        return;
    // The installed documents are read before the markers change and parsed on the pool with the
    // difference: a marker of tens of thousands of files takes a good part of a second to parse.
    const TInstallationMarkers::TInstalledDocuments installedDocuments = m_markers.readInstalledDocuments(directory);
    auto installedVersion = std::make_shared<QString>();
    auto readInstalled = [installedDocuments, installedVersion] {
        TPackageConfigurationReader installed = installedDocuments.parse();
        *installedVersion = versionText(installed);
        return installed;
    };
    // The installed chunk lists are only trusted while the full marker vouches for the files.
    const bool fastScanAllowed = m_pLauncherFilesystemHelper->settings()->fastScan && installedDocuments.full;
    auto usesFastScan = [fastScanAllowed,
                         offered = package->currentConfiguration()](const TPackageConfigurationReader& installed) {
        return fastScanAllowed && TInstallationMarkers::statusOfFullInstallation(versionText(installed), *offered) ==
                                      ELocalPackageStatus::UpdateRequired;
    };
    const std::shared_ptr<TPackageInstallation> installation = createInstallation(package, directory, QString());
    connect(installation.get(), &TPackageInstallation::downloadFinished, this,
            &TInstallationManager::onDownloadFinished);
    connect(installation.get(), &TPackageInstallation::verificationFinished, this,
            &TInstallationManager::onVerificationFinished);
    announce(installation);
    startDifferenceComputation(installation, std::move(readInstalled), std::move(usesFastScan), installedVersion);
}

void TInstallationManager::verifyPackage(std::shared_ptr<TPackage> package)
{
    qInfo() << "verifyPackage: " << package->name() << " Thread: " << QThread::currentThreadId();
    if (findRunning(package) || !package->currentConfiguration())
        return;
    const QDir directory = packageDirectory(package);
    if (refuseReservedFileNames(package, directory))
        return;
    const TPackageConfigurationReader installed =
        m_markers.readPackageConfigurationFromInstallationDirectory(directory);
    const std::shared_ptr<TPackageInstallation> installation =
        createInstallation(package, directory, versionText(installed));
    connect(installation.get(), &TPackageInstallation::verificationFinished, this,
            &TInstallationManager::onVerificationFinished);
    announce(installation);
    installation->startVerification(installed, true);
}

std::shared_ptr<TPackageInstallation> TInstallationManager::createInstallation(const std::shared_ptr<TPackage>& package,
                                                                               const QDir& directory,
                                                                               const QString& installedVersionText)
{
    const auto offered = package->currentConfiguration();
    // From here until the run has written its last file the package counts as partially installed.
    m_markers.markPackageAsPartiallyInstalled(package, offered->packageDocument(), offered->assetDocument());
    auto installation = std::make_shared<TPackageInstallation>(package, m_pLauncherFilesystemHelper);
    installation->setInstallationDirectory(directory);
    installation->setInstalledVersionText(installedVersionText);
    installation->setOfferedVersionText(versionText(*offered));
    installation->setSelfUpdateMode(m_selfUpdateMode);
    applyDownloadPreferences(*installation);
    return installation;
}

void TInstallationManager::setDownloadPreferences(TDownloadPreferences* preferences,
                                                  std::shared_ptr<::shared::TDownloadRateLimiter> limiter)
{
    disconnect(m_downloadPreferencesConnection);
    m_downloadPreferences = preferences;
    m_rateLimiter = std::move(limiter);
    const auto applyToRunning = [this] {
        for (const auto& installation : m_runningInstallations)
            applyDownloadPreferences(*installation);
    };
    if (preferences)
        m_downloadPreferencesConnection = connect(preferences, &TDownloadPreferences::changed, this, applyToRunning);
    applyToRunning();
}

void TInstallationManager::applyDownloadPreferences(const TPackageInstallation& installation) const
{
    if (!m_downloadPreferences)
        return;
    installation.downloadPool()->setRateLimiter(m_rateLimiter);
    installation.downloadPool()->setMaxParallelRequests(m_downloadPreferences->maxConcurrentDownloads());
}

bool TInstallationManager::refuseReservedFileNames(const std::shared_ptr<TPackage>& package, const QDir& directory)
{
    const TReservedFileNames reserved(*m_pLauncherFilesystemHelper->settings(),
                                      m_pLauncherFilesystemHelper->accountGroupTargetPath(), m_selfUpdateMode);
    const TPackageConfigurationReader& offered = *package->currentConfiguration();
    const auto& files = m_pLauncherFilesystemHelper->fileSystemHelper();
    const QStringList names = reserved.filesOnReservedNames(offered, directory, files);
    const QStringList colliding = m_caseCollisions.collidingFiles(offered, directory, files);
    if (names.isEmpty() && colliding.isEmpty())
        return false;
    for (const QString& name : names)
        qWarning().noquote().nospace() << "package " << package->name() << " lists the file '" << name
                                       << "', a name the launcher keeps for its own files; invalid package data, "
                                          "the package is not installed";
    for (const QString& name : colliding)
        qWarning().noquote().nospace() << "package " << package->name() << " lists the file '" << name
                                       << "', whose name differs from another only in case, which the file system of "
                                       << directory.absolutePath()
                                       << " ignores; invalid package data, the package is not installed";
    // The run fails without touching the directory; the markers keep recording what is there.
    auto installation = std::make_shared<TPackageInstallation>(package, m_pLauncherFilesystemHelper);
    installation->setInstallationDirectory(directory);
    installation->setOfferedVersionText(versionText(*package->currentConfiguration()));
    installation->setSelfUpdateMode(m_selfUpdateMode);
    connect(installation.get(), &TPackageInstallation::downloadFinished, this,
            &TInstallationManager::onDownloadFinished);
    announce(installation);
    // Ends like any other run: through the event loop, after the caller has returned.
    QMetaObject::invokeMethod(
        installation.get(),
        [run = installation.get()] { run->onDownloadFailed(EPackageDownloaderError::DownloadFailed); },
        Qt::QueuedConnection);
    return true;
}

void TInstallationManager::announce(const std::shared_ptr<TPackageInstallation>& installation)
{
    m_runningInstallations.push_back(installation);
    connect(installation.get(), &TPackageInstallation::diskAccessFailed, this,
            &TInstallationManager::onDiskAccessFailed);
    emit installationOrUpdateStarted(*installation);
}

void TInstallationManager::startDifferenceComputation(const std::shared_ptr<TPackageInstallation>& installation,
                                                      TReadInstalled readInstalled, TUsesFastScan usesFastScan,
                                                      const std::shared_ptr<QString>& installedVersion)
{
    TPackageInstallation* target = installation.get();
    auto* watcher = new QFutureWatcher<TPackageDifference>(target);
    connect(watcher, &QFutureWatcher<TPackageDifference>::finished, target, [watcher, target, installedVersion] {
        const bool computed = watcher->future().resultCount() > 0;
        const TPackageDifference result = computed ? watcher->result() : TPackageDifference();
        watcher->deleteLater();
        target->setInstalledVersionText(*installedVersion);
        if (computed) {
            target->onRequiredChangesComputedForInstallation(result);
        } else {
            qWarning() << "computing the changes for" << target->package()->name() << "failed";
            target->onDownloadFailed(EPackageDownloaderError::SavingFailed);
        }
    });
    watcher->setFuture(target->startComputingRequiredChanges(*target->package()->currentConfiguration(),
                                                             std::move(readInstalled), std::move(usesFastScan)));
}

std::shared_ptr<TPackageInstallation> TInstallationManager::findRunning(const std::shared_ptr<TPackage>& package) const
{
    const auto found = std::find_if(m_runningInstallations.begin(), m_runningInstallations.end(),
                                    [&](const std::shared_ptr<TPackageInstallation>& installation) {
                                        return installation->package()->name() == package->name();
                                    });
    return found == m_runningInstallations.end() ? nullptr : *found;
}

void TInstallationManager::onDiskAccessFailed(QString errorMessage)
{
    emit diskAccessFailed(errorMessage);
}

void TInstallationManager::onDownloadFinished(std::shared_ptr<TPackage> packageBeingInstalled)
{
    qInfo() << "onDownloadFinished: " << packageBeingInstalled->name() << " Thread: " << QThread::currentThreadId();
    const std::shared_ptr<TPackageInstallation> installation = findRunning(packageBeingInstalled);
    if (!installation)
        return;
    qInfo() << "onDownloadFinished found: " << packageBeingInstalled->name()
            << " InstallationsInProgress: " << m_runningInstallations.size()
            << " Thread: " << QThread::currentThreadId();
    if (installation->installationSucceeded()) {
        TPackageConfigurationReader installed;
        try {
            m_markers.updatePartiallyInstalledPackage(packageBeingInstalled);
            // The marker now holds the offered documents; only the files are used from here on.
            installed = m_markers.readPackageConfigurationFromInstallationDirectory(
                packageDirectory(packageBeingInstalled), packageBeingInstalled->currentConfiguration().get());
        } catch (const std::runtime_error& error) {
            emit diskAccessFailed(QString::fromUtf8(error.what()));
            endRun(installation);
            return;
        }
        qInfo() << "onDownloadFinished LocalConfiguration: " << installed.files().size()
                << " Thread: " << QThread::currentThreadId();
        emit funnelEventRequested(FunnelStepDownloaded, FunnelKeyDownloaded);
        // With verification skipped the run ends inside this call.
        installation->startVerification(installed, false);
        return;
    }
    endRun(installation);
}

void TInstallationManager::onVerificationFinished(std::shared_ptr<TPackage> packageBeingInstalled)
{
    qInfo() << "onVerificationFinished: " << packageBeingInstalled->name() << " Thread: " << QThread::currentThreadId();
    const std::shared_ptr<TPackageInstallation> installation = findRunning(packageBeingInstalled);
    if (!installation)
        return;
    const bool succeeded = installation->installationSucceeded();
    qInfo() << "onVerificationFinished found package: " << packageBeingInstalled->name()
            << " without error: " << (succeeded ? "true" : "false") << " Thread: " << QThread::currentThreadId();
    if (succeeded) {
        try {
            m_markers.markPackageAsFullyInstalled(packageBeingInstalled);
            emit funnelEventRequested(FunnelStepVerified, FunnelKeyVerified);
        } catch (const std::runtime_error& error) {
            emit diskAccessFailed(QString::fromUtf8(error.what()));
        }
    }
    packageBeingInstalled->setPackageIsUpToDateFlag(true);
    if (succeeded && m_pLauncherFilesystemHelper->accountGroupFileExists())
        copyAccountGroupFile(packageBeingInstalled);
    endRun(installation);
}

void TInstallationManager::endRun(const std::shared_ptr<TPackageInstallation>& installation)
{
    if (std::find(m_runningInstallations.begin(), m_runningInstallations.end(), installation) ==
        m_runningInstallations.end())
        return;
    emit installationOrUpdateFinished(*installation);
    // A late signal of this run must not be taken for one of a later run of the same package.
    disconnect(installation.get(), nullptr, this, nullptr);
    // Looked up again: the handlers of the signal may have started other runs.
    m_runningInstallations.erase(std::find(m_runningInstallations.begin(), m_runningInstallations.end(), installation));
    // The run usually ends inside one of the installation's own signals: it goes once control is
    // back in the event loop.
    QMetaObject::invokeMethod(
        this, [finished = installation] { Q_UNUSED(finished) }, Qt::QueuedConnection);
    if (m_runningInstallations.empty())
        emit allStartedUpdatesFinished();
}

QDir TInstallationManager::packageDirectory(const std::shared_ptr<TPackage>& package) const
{
    return m_markers.packageDirectory(package);
}

void TInstallationManager::copyAccountGroupFile(const std::shared_ptr<TPackage>& package) const
{
    if (!m_pLauncherFilesystemHelper->accountGroupFileExists())
        return;
    const auto& files = m_pLauncherFilesystemHelper->fileSystemHelper();
    QFile source(m_pLauncherFilesystemHelper->accountGroupFilePath());
    source.copy(files.joinPath(
        {packageDirectory(package).absolutePath(), m_pLauncherFilesystemHelper->accountGroupTargetPath()}));
    source.close();
}

void TInstallationManager::setDefaultPackage(const std::shared_ptr<TPackage>& package)
{
    m_markers.setDefaultPackage(m_configuration->packages(), package);
}

std::shared_ptr<TPackage> TInstallationManager::defaultPackage() const
{
    for (const auto& package : m_configuration->packages()) {
        if (package->isDefault())
            return package;
    }
    return nullptr;
}

QString TInstallationManager::clientExecutablePath(const std::shared_ptr<TPackage>& package) const
{
    const TPackageBuild* build = package->currentBuild();
    if (!build || !build->configuration() || build->configuration()->executable().isEmpty())
        return QString();
    return m_pLauncherFilesystemHelper->fileSystemHelper().resolvePathInsideDirectory(
        packageDirectory(package), build->configuration()->executable());
}

} // namespace orvan::launcher
