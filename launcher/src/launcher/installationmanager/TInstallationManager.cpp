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
#include "settings/TLauncherFilesystemHelper.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QThread>
#include <QUrl>

#include <algorithm>

namespace orvan::launcher {

const QString TInstallationManager::FunnelStepDownloaded = QStringLiteral("launcher_downloaded");
const QString TInstallationManager::FunnelKeyDownloaded = QStringLiteral("FunnelFinishedDownloadingFirst");
const QString TInstallationManager::FunnelStepVerified = QStringLiteral("launcher_verified");
const QString TInstallationManager::FunnelKeyVerified = QStringLiteral("FunnelFinished_VerifyingFirst");

namespace {

QString assetsVersionOrPlaceholder(const TPackageConfigurationReader& Configuration)
{
    return Configuration.assetsVersion().isEmpty() ? QStringLiteral("?") : Configuration.assetsVersion();
}

} // namespace

TInstallationManager::TInstallationManager(std::shared_ptr<TLauncherConfigurationReader> Configuration,
                                           std::shared_ptr<TLauncherFilesystemHelper> LauncherFilesystemHelper)
    : m_configuration(std::move(Configuration)), m_pLauncherFilesystemHelper(std::move(LauncherFilesystemHelper))
{
    bool defaultFound = false;
    for (const auto& package : m_configuration->packages()) {
        const ELocalPackageStatus status = determineLocalPackageStatus(package);
        package->setLocalPackageStatus(status);
        if (defaultFound || status < ELocalPackageStatus::PartiallyInstalled)
            continue;
        // Only a file marks the default; a folder of that name is not the launcher's.
        if (QFileInfo(defaultMarkerPath(packageDirectory(package))).isFile()) {
            package->setIsDefault(true);
            defaultFound = true;
        }
    }
}

TInstallationManager::~TInstallationManager() = default;

void TInstallationManager::installOrUpdatePackage(std::shared_ptr<TPackage> Package)
{
    qInfo() << "installOrUpdatePackage: " << Package->name() << " Thread: " << QThread::currentThreadId();
    if (findRunning(Package) || !Package->currentConfiguration())
        return;
    const QDir directory = packageDirectory(Package);
    if (refuseReservedFileNames(Package, directory))
        return;
    const TPackageConfigurationReader installed = readPackageConfigurationFromInstallationDirectory(directory);
    // The installed chunk lists are only trusted while the full marker vouches for the files.
    const bool fastScan = m_pLauncherFilesystemHelper->settings()->fastScan &&
                          determineLocalPackageStatus(Package) == ELocalPackageStatus::UpdateRequired;
    const std::shared_ptr<TPackageInstallation> installation = createInstallation(Package, directory, installed);
    connect(installation.get(), &TPackageInstallation::downloadFinished, this,
            &TInstallationManager::onDownloadFinished);
    connect(installation.get(), &TPackageInstallation::verificationFinished, this,
            &TInstallationManager::onVerificationFinished);
    announce(installation);
    startDifferenceComputation(installation, installed, fastScan);
}

void TInstallationManager::verifyPackage(std::shared_ptr<TPackage> Package)
{
    qInfo() << "verifyPackage: " << Package->name() << " Thread: " << QThread::currentThreadId();
    if (findRunning(Package) || !Package->currentConfiguration())
        return;
    const QDir directory = packageDirectory(Package);
    if (refuseReservedFileNames(Package, directory))
        return;
    const TPackageConfigurationReader installed = readPackageConfigurationFromInstallationDirectory(directory);
    const std::shared_ptr<TPackageInstallation> installation = createInstallation(Package, directory, installed);
    connect(installation.get(), &TPackageInstallation::verificationFinished, this,
            &TInstallationManager::onVerificationFinished);
    announce(installation);
    installation->startVerification(installed, true);
}

std::shared_ptr<TPackageInstallation>
TInstallationManager::createInstallation(const std::shared_ptr<TPackage>& Package, const QDir& Directory,
                                         const TPackageConfigurationReader& Installed)
{
    const auto offered = Package->currentConfiguration();
    // From here until the run has written its last file the package counts as partially installed.
    markPackageAsPartiallyInstalled(Package, offered->packageDocument(), offered->assetDocument());
    auto installation = std::make_shared<TPackageInstallation>(Package, m_pLauncherFilesystemHelper);
    installation->setInstallationDirectory(Directory);
    installation->setInstalledVersionText(versionText(Installed));
    installation->setOfferedVersionText(versionText(*offered));
    installation->setSelfUpdateMode(m_selfUpdateMode);
    return installation;
}

bool TInstallationManager::refuseReservedFileNames(const std::shared_ptr<TPackage>& Package, const QDir& Directory)
{
    const TReservedFileNames reserved(*m_pLauncherFilesystemHelper->settings(),
                                      m_pLauncherFilesystemHelper->accountGroupTargetPath());
    const QStringList names = reserved.filesOnReservedNames(*Package->currentConfiguration(), Directory,
                                                            m_pLauncherFilesystemHelper->fileSystemHelper());
    if (names.isEmpty())
        return false;
    for (const QString& name : names)
        qWarning().noquote().nospace() << "package " << Package->name() << " lists the file '" << name
                                       << "', a name the launcher keeps for its own files; invalid package data, "
                                          "the package is not installed";
    // The run fails without touching the directory; the markers keep recording what is there.
    auto installation = std::make_shared<TPackageInstallation>(Package, m_pLauncherFilesystemHelper);
    installation->setInstallationDirectory(Directory);
    installation->setOfferedVersionText(versionText(*Package->currentConfiguration()));
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

void TInstallationManager::announce(const std::shared_ptr<TPackageInstallation>& Installation)
{
    m_runningInstallations.push_back(Installation);
    connect(Installation.get(), &TPackageInstallation::diskAccessFailed, this,
            &TInstallationManager::onDiskAccessFailed);
    emit installationOrUpdateStarted(*Installation);
}

void TInstallationManager::startDifferenceComputation(const std::shared_ptr<TPackageInstallation>& Installation,
                                                      const TPackageConfigurationReader& Installed, bool FastScan)
{
    TPackageInstallation* target = Installation.get();
    auto* watcher = new QFutureWatcher<TPackageDifference>(target);
    connect(watcher, &QFutureWatcher<TPackageDifference>::finished, target, [watcher, target] {
        const bool computed = watcher->future().resultCount() > 0;
        const TPackageDifference result = computed ? watcher->result() : TPackageDifference();
        watcher->deleteLater();
        if (computed) {
            target->onRequiredChangesComputedForInstallation(result);
        } else {
            qWarning() << "computing the changes for" << target->package()->name() << "failed";
            target->onDownloadFailed(EPackageDownloaderError::SavingFailed);
        }
    });
    watcher->setFuture(
        target->startComputingRequiredChanges(*target->package()->currentConfiguration(), Installed, FastScan));
}

std::shared_ptr<TPackageInstallation> TInstallationManager::findRunning(const std::shared_ptr<TPackage>& Package) const
{
    const auto found = std::find_if(m_runningInstallations.begin(), m_runningInstallations.end(),
                                    [&](const std::shared_ptr<TPackageInstallation>& Installation) {
                                        return Installation->package()->name() == Package->name();
                                    });
    return found == m_runningInstallations.end() ? nullptr : *found;
}

void TInstallationManager::onDiskAccessFailed(QString ErrorMessage)
{
    emit diskAccessFailed(ErrorMessage);
}

void TInstallationManager::onDownloadFinished(std::shared_ptr<TPackage> PackageBeingInstalled)
{
    qInfo() << "onDownloadFinished: " << PackageBeingInstalled->name() << " Thread: " << QThread::currentThreadId();
    const std::shared_ptr<TPackageInstallation> installation = findRunning(PackageBeingInstalled);
    if (!installation)
        return;
    qInfo() << "onDownloadFinished found: " << PackageBeingInstalled->name()
            << " InstallationsInProgress: " << m_runningInstallations.size()
            << " Thread: " << QThread::currentThreadId();
    if (installation->installationSucceeded()) {
        TPackageConfigurationReader installed;
        try {
            updatePartiallyInstalledPackage(PackageBeingInstalled);
            installed = readPackageConfigurationFromInstallationDirectory(packageDirectory(PackageBeingInstalled));
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

void TInstallationManager::onVerificationFinished(std::shared_ptr<TPackage> PackageBeingInstalled)
{
    qInfo() << "onVerificationFinished: " << PackageBeingInstalled->name() << " Thread: " << QThread::currentThreadId();
    const std::shared_ptr<TPackageInstallation> installation = findRunning(PackageBeingInstalled);
    if (!installation)
        return;
    const bool succeeded = installation->installationSucceeded();
    qInfo() << "onVerificationFinished found package: " << PackageBeingInstalled->name()
            << " without error: " << (succeeded ? "true" : "false") << " Thread: " << QThread::currentThreadId();
    if (succeeded) {
        try {
            markPackageAsFullyInstalled(PackageBeingInstalled);
            emit funnelEventRequested(FunnelStepVerified, FunnelKeyVerified);
        } catch (const std::runtime_error& error) {
            emit diskAccessFailed(QString::fromUtf8(error.what()));
        }
    }
    PackageBeingInstalled->setPackageIsUpToDateFlag(true);
    if (succeeded && m_pLauncherFilesystemHelper->accountGroupFileExists())
        copyAccountGroupFile(PackageBeingInstalled);
    endRun(installation);
}

void TInstallationManager::endRun(const std::shared_ptr<TPackageInstallation>& Installation)
{
    if (std::find(m_runningInstallations.begin(), m_runningInstallations.end(), Installation) ==
        m_runningInstallations.end())
        return;
    emit installationOrUpdateFinished(*Installation);
    // A late signal of this run must not be taken for one of a later run of the same package.
    disconnect(Installation.get(), nullptr, this, nullptr);
    // Looked up again: the handlers of the signal may have started other runs.
    m_runningInstallations.erase(std::find(m_runningInstallations.begin(), m_runningInstallations.end(), Installation));
    // The run usually ends inside one of the installation's own signals: it goes once control is
    // back in the event loop.
    QMetaObject::invokeMethod(
        this, [finished = Installation] { Q_UNUSED(finished) }, Qt::QueuedConnection);
    if (m_runningInstallations.empty())
        emit allStartedUpdatesFinished();
}

QDir TInstallationManager::packageDirectory(const std::shared_ptr<TPackage>& Package) const
{
    if (Package->packageIndex() == TPackage::LauncherPackageIndex)
        return QDir(QCoreApplication::applicationDirPath());
    const auto& files = m_pLauncherFilesystemHelper->fileSystemHelper();
    return QDir(
        files.resolvePathInsideDirectory(m_pLauncherFilesystemHelper->packagesDirectory(), Package->directoryName()));
}

std::pair<QString, QString> TInstallationManager::markerFilePaths(const QDir& Directory) const
{
    const auto& files = m_pLauncherFilesystemHelper->fileSystemHelper();
    const auto& settings = *m_pLauncherFilesystemHelper->settings();
    return {files.resolvePathInsideDirectory(Directory, settings.partialPackageFile),
            files.resolvePathInsideDirectory(Directory, settings.packageFile)};
}

QString TInstallationManager::assetFilePath(const QDir& Directory) const
{
    return m_pLauncherFilesystemHelper->fileSystemHelper().resolvePathInsideDirectory(
        Directory, m_pLauncherFilesystemHelper->settings()->assetFile);
}

QString TInstallationManager::defaultMarkerPath(const QDir& Directory) const
{
    return m_pLauncherFilesystemHelper->fileSystemHelper().resolvePathInsideDirectory(
        Directory, TReservedFileNames::DefaultMarkerName);
}

TPackageConfigurationReader TInstallationManager::readMarker(const QString& MarkerPath, const QDir& Directory) const
{
    const auto& files = m_pLauncherFilesystemHelper->fileSystemHelper();
    const QUrl base = QUrl::fromLocalFile(Directory.absolutePath());
    return TPackageConfigurationReader(files.readFileIfPresent(MarkerPath),
                                       files.readFileIfPresent(assetFilePath(Directory)), base, base);
}

TPackageConfigurationReader
TInstallationManager::readPackageConfigurationFromInstallationDirectory(const QDir& Directory) const
{
    const auto& settings = *m_pLauncherFilesystemHelper->settings();
    qInfo() << "readPackageConfigurationFromInstallationDirectory m_pLauncherFilesystemHelper: "
            << static_cast<const void*>(m_pLauncherFilesystemHelper.get())
            << " launcherSettings: " << static_cast<const void*>(m_pLauncherFilesystemHelper->settings().get())
            << " installedPackageMarker: " << settings.packageFile
            << " partiallyInstalledPackageMarker: " << settings.partialPackageFile
            << " Thread: " << QThread::currentThreadId();
    const auto [partial, full] = markerFilePaths(Directory);
    if (QFileInfo::exists(full)) {
        qInfo() << "FullInstallationMarker " << full << assetFilePath(Directory)
                << " Thread:" << QThread::currentThreadId();
        return readMarker(full, Directory);
    }
    if (QFileInfo::exists(partial)) {
        qInfo() << "PartialInstallationMarker " << partial << assetFilePath(Directory)
                << " Thread:" << QThread::currentThreadId();
        return readMarker(partial, Directory);
    }
    return TPackageConfigurationReader();
}

ELocalPackageStatus TInstallationManager::determineLocalPackageStatus(const std::shared_ptr<TPackage>& Package) const
{
    const auto offered = Package->currentConfiguration();
    if (!offered)
        return ELocalPackageStatus::NotInstalled;
    const QDir directory = packageDirectory(Package);
    const auto [partial, full] = markerFilePaths(directory);
    if (QFileInfo::exists(full)) {
        const TPackageConfigurationReader installed = readMarker(full, directory);
        if (versionText(installed) != versionText(*offered))
            return ELocalPackageStatus::UpdateRequired;
        return assetsVersionOrPlaceholder(*offered) == QLatin1String("1") ? ELocalPackageStatus::UpdateRequired
                                                                          : ELocalPackageStatus::Installed;
    }
    return QFileInfo::exists(partial) ? ELocalPackageStatus::PartiallyInstalled : ELocalPackageStatus::NotInstalled;
}

void TInstallationManager::refreshLocalPackageStatus(const std::shared_ptr<TPackage>& Package) const
{
    Package->setLocalPackageStatus(determineLocalPackageStatus(Package));
}

void TInstallationManager::writeOfferedAssetDocument(const std::shared_ptr<TPackage>& Package,
                                                     const QDir& Directory) const
{
    const auto offered = Package->currentConfiguration();
    if (offered && !offered->assetDocument().isEmpty())
        m_pLauncherFilesystemHelper->writeMarkerFile(assetFilePath(Directory), offered->assetDocument());
}

void TInstallationManager::markPackageAsPartiallyInstalled(const std::shared_ptr<TPackage>& Package,
                                                           const QByteArray& PackageDocument,
                                                           const QByteArray& AssetDocument)
{
    qInfo() << "markPackageAsPartiallyInstalled: " << Package->name() << " Thread: " << QThread::currentThreadId();
    const QDir directory = packageDirectory(Package);
    const auto [partial, full] = markerFilePaths(directory);
    // One rename turns the full marker into the partial one: there is always one of them, and
    // the rename is on disk before any package file changes.
    if (QFileInfo::exists(full))
        m_pLauncherFilesystemHelper->moveMarkerFile(full, partial);
    else if (!QFileInfo::exists(partial))
        m_pLauncherFilesystemHelper->writeMarkerFile(partial, PackageDocument);
    if (!AssetDocument.isEmpty())
        m_pLauncherFilesystemHelper->writeMarkerFile(assetFilePath(directory), AssetDocument);
    Package->setLocalPackageStatus(ELocalPackageStatus::PartiallyInstalled);
}

void TInstallationManager::updatePartiallyInstalledPackage(const std::shared_ptr<TPackage>& Package)
{
    qInfo() << "updatePartiallyInstalledPackage: " << Package->name() << " Thread: " << QThread::currentThreadId();
    const QDir directory = packageDirectory(Package);
    const auto [partial, full] = markerFilePaths(directory);
    if (QFileInfo::exists(full))
        m_pLauncherFilesystemHelper->moveMarkerFile(full, partial);
    const auto offered = Package->currentConfiguration();
    m_pLauncherFilesystemHelper->writeMarkerFile(partial, offered ? offered->packageDocument() : QByteArray());
    writeOfferedAssetDocument(Package, directory);
    Package->setLocalPackageStatus(ELocalPackageStatus::PartiallyInstalled);
}

void TInstallationManager::markPackageAsFullyInstalled(const std::shared_ptr<TPackage>& Package)
{
    qInfo() << "markPackageAsFullyInstalled: " << Package->name() << " Thread: " << QThread::currentThreadId();
    const QDir directory = packageDirectory(Package);
    const auto [partial, full] = markerFilePaths(directory);
    // The full marker vouches for the files, so they and their folders reach the disk first; one
    // sync of the file system covers everything the run wrote. The partial marker goes only once
    // the full one is in place.
    m_pLauncherFilesystemHelper->fileSystemHelper().syncFileSystem(directory.absolutePath());
    writeOfferedAssetDocument(Package, directory);
    const auto offered = Package->currentConfiguration();
    m_pLauncherFilesystemHelper->writeMarkerFile(full, offered ? offered->packageDocument() : QByteArray());
    m_pLauncherFilesystemHelper->removeMarkerFile(partial);
    Package->setLocalPackageStatus(ELocalPackageStatus::Installed);
}

void TInstallationManager::copyAccountGroupFile(const std::shared_ptr<TPackage>& Package) const
{
    if (!m_pLauncherFilesystemHelper->accountGroupFileExists())
        return;
    const auto& files = m_pLauncherFilesystemHelper->fileSystemHelper();
    QFile source(m_pLauncherFilesystemHelper->accountGroupFilePath());
    source.copy(files.joinPath(
        {packageDirectory(Package).absolutePath(), m_pLauncherFilesystemHelper->accountGroupTargetPath()}));
    source.close();
}

void TInstallationManager::setDefaultPackage(const std::shared_ptr<TPackage>& Package)
{
    for (const auto& package : m_configuration->packages()) {
        refreshLocalPackageStatus(package);
        m_pLauncherFilesystemHelper->removeMarkerFile(defaultMarkerPath(packageDirectory(package)));
        package->setIsDefault(false);
    }
    if (!Package)
        return;
    const QString marker = defaultMarkerPath(packageDirectory(Package));
    if (QFileInfo(marker).isDir())
        qWarning() << "a folder takes the place of" << marker << "; the default client is not remembered";
    else
        m_pLauncherFilesystemHelper->writeFileCreatingFolder(marker, QByteArray());
    Package->setIsDefault(true);
}

std::shared_ptr<TPackage> TInstallationManager::defaultPackage() const
{
    for (const auto& package : m_configuration->packages()) {
        if (package->isDefault())
            return package;
    }
    return nullptr;
}

QString TInstallationManager::clientExecutablePath(const std::shared_ptr<TPackage>& Package) const
{
    const TPackageBuild* build = Package->currentBuild();
    if (!build || !build->configuration() || build->configuration()->executable().isEmpty())
        return QString();
    return m_pLauncherFilesystemHelper->fileSystemHelper().resolvePathInsideDirectory(
        packageDirectory(Package), build->configuration()->executable());
}

} // namespace orvan::launcher
