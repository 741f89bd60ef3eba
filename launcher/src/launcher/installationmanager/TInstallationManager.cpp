#include "TInstallationManager.h"

#include "configuration/ELocalPackageStatus.h"
#include "configuration/TLauncherConfigurationReader.h"
#include "configuration/TPackage.h"
#include "configuration/TPackageBuild.h"
#include "configuration/TPackageConfigurationReader.h"
#include "configuration/VersionText.h"
#include "settings/TLauncherFilesystemHelper.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QUrl>

namespace orvan::launcher {

namespace {

const QString defaultMarkerName = QStringLiteral("default");

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
        const int status = determineLocalPackageStatus(package);
        package->setLocalPackageStatus(static_cast<ELocalPackageStatus>(status));
        if (defaultFound || status < static_cast<int>(ELocalPackageStatus::PartiallyInstalled))
            continue;
        if (QFileInfo::exists(defaultMarkerPath(packageDirectory(package)))) {
            package->setIsDefault(true);
            defaultFound = true;
        }
    }
}

TInstallationManager::~TInstallationManager() = default;

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
    return m_pLauncherFilesystemHelper->fileSystemHelper().resolvePathInsideDirectory(Directory, defaultMarkerName);
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

int TInstallationManager::determineLocalPackageStatus(const std::shared_ptr<TPackage>& Package) const
{
    const auto offered = Package->currentConfiguration();
    if (!offered)
        return static_cast<int>(ELocalPackageStatus::NotInstalled);
    const QDir directory = packageDirectory(Package);
    const auto [partial, full] = markerFilePaths(directory);
    if (QFileInfo::exists(full)) {
        const TPackageConfigurationReader installed = readMarker(full, directory);
        if (versionText(installed) != versionText(*offered))
            return static_cast<int>(ELocalPackageStatus::UpdateRequired);
        return assetsVersionOrPlaceholder(*offered) == QLatin1String("1")
                   ? static_cast<int>(ELocalPackageStatus::UpdateRequired)
                   : static_cast<int>(ELocalPackageStatus::Installed);
    }
    return QFileInfo::exists(partial) ? static_cast<int>(ELocalPackageStatus::PartiallyInstalled)
                                      : static_cast<int>(ELocalPackageStatus::NotInstalled);
}

void TInstallationManager::refreshLocalPackageStatus(const std::shared_ptr<TPackage>& Package) const
{
    Package->setLocalPackageStatus(static_cast<ELocalPackageStatus>(determineLocalPackageStatus(Package)));
}

void TInstallationManager::writeOfferedAssetDocument(const std::shared_ptr<TPackage>& Package,
                                                     const QDir& Directory) const
{
    const auto offered = Package->currentConfiguration();
    if (offered && !offered->assetDocument().isEmpty())
        m_pLauncherFilesystemHelper->writeFileCreatingFolder(assetFilePath(Directory), offered->assetDocument());
}

void TInstallationManager::markPackageAsPartiallyInstalled(const std::shared_ptr<TPackage>& Package,
                                                           const QByteArray& PackageDocument,
                                                           const QByteArray& AssetDocument)
{
    qInfo() << "markPackageAsPartiallyInstalled: " << Package->name() << " Thread: " << QThread::currentThreadId();
    const QDir directory = packageDirectory(Package);
    const auto [partial, full] = markerFilePaths(directory);
    if (QFileInfo::exists(full))
        m_pLauncherFilesystemHelper->moveFile(full, partial);
    else if (!QFileInfo::exists(partial))
        m_pLauncherFilesystemHelper->writeFileCreatingFolder(partial, PackageDocument);
    if (!AssetDocument.isEmpty())
        m_pLauncherFilesystemHelper->writeFileCreatingFolder(assetFilePath(directory), AssetDocument);
    Package->setLocalPackageStatus(ELocalPackageStatus::PartiallyInstalled);
}

void TInstallationManager::updatePartiallyInstalledPackage(const std::shared_ptr<TPackage>& Package)
{
    qInfo() << "updatePartiallyInstalledPackage: " << Package->name() << " Thread: " << QThread::currentThreadId();
    const QDir directory = packageDirectory(Package);
    const auto [partial, full] = markerFilePaths(directory);
    if (QFileInfo::exists(full))
        m_pLauncherFilesystemHelper->moveFile(full, partial);
    const auto offered = Package->currentConfiguration();
    m_pLauncherFilesystemHelper->writeFileCreatingFolder(partial, offered ? offered->packageDocument() : QByteArray());
    writeOfferedAssetDocument(Package, directory);
    Package->setLocalPackageStatus(ELocalPackageStatus::PartiallyInstalled);
}

void TInstallationManager::markPackageAsFullyInstalled(const std::shared_ptr<TPackage>& Package)
{
    qInfo() << "markPackageAsFullyInstalled: " << Package->name() << " Thread: " << QThread::currentThreadId();
    const QDir directory = packageDirectory(Package);
    const auto [partial, full] = markerFilePaths(directory);
    if (QFileInfo::exists(partial))
        m_pLauncherFilesystemHelper->removeFileOrFolder(partial);
    const auto offered = Package->currentConfiguration();
    m_pLauncherFilesystemHelper->writeFileCreatingFolder(full, offered ? offered->packageDocument() : QByteArray());
    writeOfferedAssetDocument(Package, directory);
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
        m_pLauncherFilesystemHelper->removeFileOrFolder(defaultMarkerPath(packageDirectory(package)));
        package->setIsDefault(false);
    }
    if (!Package)
        return;
    m_pLauncherFilesystemHelper->writeFileCreatingFolder(defaultMarkerPath(packageDirectory(Package)), QByteArray());
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
