#include "TInstallationMarkers.h"

#include "TMarkerVersion.h"
#include "TReservedFileNames.h"

#include "configuration/TPackage.h"
#include "configuration/TPackageConfigurationReader.h"
#include "configuration/VersionText.h"
#include "settings/TLauncherFilesystemHelper.h"

#include <QCoreApplication>
#include <QDebug>
#include <QFileInfo>
#include <QThread>
#include <QUrl>

namespace orvan::launcher {

namespace {

QString assetsVersionOrPlaceholder(const TPackageConfigurationReader& configuration)
{
    return configuration.assetsVersion().isEmpty() ? QStringLiteral("?") : configuration.assetsVersion();
}

} // namespace

TInstallationMarkers::TInstallationMarkers(std::shared_ptr<TLauncherFilesystemHelper> launcherFilesystemHelper)
    : m_pLauncherFilesystemHelper(std::move(launcherFilesystemHelper))
{}

QDir TInstallationMarkers::packageDirectory(const std::shared_ptr<TPackage>& package) const
{
    if (package->packageIndex() == TPackage::LauncherPackageIndex)
        return QDir(QCoreApplication::applicationDirPath());
    const auto& files = m_pLauncherFilesystemHelper->fileSystemHelper();
    return QDir(
        files.resolvePathInsideDirectory(m_pLauncherFilesystemHelper->packagesDirectory(), package->directoryName()));
}

std::pair<QString, QString> TInstallationMarkers::markerFilePaths(const QDir& directory) const
{
    const auto& files = m_pLauncherFilesystemHelper->fileSystemHelper();
    const auto& settings = *m_pLauncherFilesystemHelper->settings();
    return {files.resolvePathInsideDirectory(directory, settings.partialPackageFile),
            files.resolvePathInsideDirectory(directory, settings.packageFile)};
}

QString TInstallationMarkers::assetFilePath(const QDir& directory) const
{
    return m_pLauncherFilesystemHelper->fileSystemHelper().resolvePathInsideDirectory(
        directory, m_pLauncherFilesystemHelper->settings()->assetFile);
}

QString TInstallationMarkers::defaultMarkerPath(const QDir& directory) const
{
    return m_pLauncherFilesystemHelper->fileSystemHelper().resolvePathInsideDirectory(
        directory, TReservedFileNames::DefaultMarkerName);
}

QString TInstallationMarkers::installedMarkerPath(const QDir& directory) const
{
    const auto& settings = *m_pLauncherFilesystemHelper->settings();
    qInfo() << "readPackageConfigurationFromInstallationDirectory m_pLauncherFilesystemHelper: "
            << static_cast<const void*>(m_pLauncherFilesystemHelper.get())
            << " launcherSettings: " << static_cast<const void*>(m_pLauncherFilesystemHelper->settings().get())
            << " installedPackageMarker: " << settings.packageFile
            << " partiallyInstalledPackageMarker: " << settings.partialPackageFile
            << " Thread: " << QThread::currentThreadId();
    const auto [partial, full] = markerFilePaths(directory);
    if (QFileInfo::exists(full)) {
        qInfo() << "FullInstallationMarker " << full << assetFilePath(directory)
                << " Thread:" << QThread::currentThreadId();
        return full;
    }
    if (QFileInfo::exists(partial)) {
        qInfo() << "PartialInstallationMarker " << partial << assetFilePath(directory)
                << " Thread:" << QThread::currentThreadId();
        return partial;
    }
    return {};
}

TInstallationMarkers::TInstalledDocuments TInstallationMarkers::readInstalledDocuments(const QDir& directory) const
{
    const QString marker = installedMarkerPath(directory);
    TInstalledDocuments documents;
    if (marker.isEmpty())
        return documents;
    const auto& files = m_pLauncherFilesystemHelper->fileSystemHelper();
    documents.present = true;
    documents.full = marker == markerFilePaths(directory).second;
    documents.packageDocument = files.readFileIfPresent(marker);
    documents.assetDocument = files.readFileIfPresent(assetFilePath(directory));
    documents.base = QUrl::fromLocalFile(directory.absolutePath());
    return documents;
}

TPackageConfigurationReader TInstallationMarkers::TInstalledDocuments::parse() const
{
    return present ? TPackageConfigurationReader(packageDocument, assetDocument, base, base)
                   : TPackageConfigurationReader();
}

TPackageConfigurationReader TInstallationMarkers::readMarker(const QString& markerPath, const QDir& directory,
                                                             const TPackageConfigurationReader* known) const
{
    const auto& files = m_pLauncherFilesystemHelper->fileSystemHelper();
    QByteArray packageDocument = files.readFileIfPresent(markerPath);
    QByteArray assetDocument = files.readFileIfPresent(assetFilePath(directory));
    if (known && packageDocument == known->packageDocument() && assetDocument == known->assetDocument())
        return *known;
    const QUrl base = QUrl::fromLocalFile(directory.absolutePath());
    return TPackageConfigurationReader(std::move(packageDocument), std::move(assetDocument), base, base);
}

TPackageConfigurationReader
TInstallationMarkers::readPackageConfigurationFromInstallationDirectory(const QDir& directory,
                                                                        const TPackageConfigurationReader* known) const
{
    const QString marker = installedMarkerPath(directory);
    return marker.isEmpty() ? TPackageConfigurationReader() : readMarker(marker, directory, known);
}

ELocalPackageStatus TInstallationMarkers::determineLocalPackageStatus(const std::shared_ptr<TPackage>& package) const
{
    const auto offered = package->currentConfiguration();
    if (!offered)
        return ELocalPackageStatus::NotInstalled;
    const QDir directory = packageDirectory(package);
    const auto [partial, full] = markerFilePaths(directory);
    if (QFileInfo::exists(full))
        return statusOfFullInstallation(installedVersionText(full, directory, *offered), *offered);
    return QFileInfo::exists(partial) ? ELocalPackageStatus::PartiallyInstalled : ELocalPackageStatus::NotInstalled;
}

QString TInstallationMarkers::installedVersionText(const QString& fullMarkerPath, const QDir& directory,
                                                   const TPackageConfigurationReader& offered) const
{
    const auto& files = m_pLauncherFilesystemHelper->fileSystemHelper();
    const QByteArray packageDocument = files.readFileIfPresent(fullMarkerPath);
    const QByteArray assetDocument = files.readFileIfPresent(assetFilePath(directory));
    // An up-to-date installation stores the offered documents byte for byte: nothing to parse.
    if (packageDocument == offered.packageDocument() && assetDocument == offered.assetDocument())
        return versionText(offered);
    return TMarkerVersion::versionText(packageDocument, assetDocument);
}

ELocalPackageStatus TInstallationMarkers::statusOfFullInstallation(const QString& installedVersion,
                                                                   const TPackageConfigurationReader& offered)
{
    if (installedVersion != versionText(offered))
        return ELocalPackageStatus::UpdateRequired;
    return assetsVersionOrPlaceholder(offered) == QLatin1String("1") ? ELocalPackageStatus::UpdateRequired
                                                                     : ELocalPackageStatus::Installed;
}

void TInstallationMarkers::loadStatuses(const std::vector<std::shared_ptr<TPackage>>& packages) const
{
    bool defaultFound = false;
    for (const auto& package : packages) {
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

void TInstallationMarkers::writeOfferedAssetDocument(const std::shared_ptr<TPackage>& package,
                                                     const QDir& directory) const
{
    const auto offered = package->currentConfiguration();
    if (offered && !offered->assetDocument().isEmpty())
        m_pLauncherFilesystemHelper->writeMarkerFile(assetFilePath(directory), offered->assetDocument());
}

void TInstallationMarkers::markPackageAsPartiallyInstalled(const std::shared_ptr<TPackage>& package,
                                                           const QByteArray& packageDocument,
                                                           const QByteArray& assetDocument) const
{
    qInfo() << "markPackageAsPartiallyInstalled: " << package->name() << " Thread: " << QThread::currentThreadId();
    const QDir directory = packageDirectory(package);
    const auto [partial, full] = markerFilePaths(directory);
    // One rename turns the full marker into the partial one: there is always one of them, and
    // the rename is on disk before any package file changes.
    if (QFileInfo::exists(full))
        m_pLauncherFilesystemHelper->moveMarkerFile(full, partial);
    else if (!QFileInfo::exists(partial))
        m_pLauncherFilesystemHelper->writeMarkerFile(partial, packageDocument);
    if (!assetDocument.isEmpty())
        m_pLauncherFilesystemHelper->writeMarkerFile(assetFilePath(directory), assetDocument);
    package->setLocalPackageStatus(ELocalPackageStatus::PartiallyInstalled);
}

void TInstallationMarkers::updatePartiallyInstalledPackage(const std::shared_ptr<TPackage>& package) const
{
    qInfo() << "updatePartiallyInstalledPackage: " << package->name() << " Thread: " << QThread::currentThreadId();
    const QDir directory = packageDirectory(package);
    const auto [partial, full] = markerFilePaths(directory);
    if (QFileInfo::exists(full))
        m_pLauncherFilesystemHelper->moveMarkerFile(full, partial);
    const auto offered = package->currentConfiguration();
    m_pLauncherFilesystemHelper->writeMarkerFile(partial, offered ? offered->packageDocument() : QByteArray());
    writeOfferedAssetDocument(package, directory);
    package->setLocalPackageStatus(ELocalPackageStatus::PartiallyInstalled);
}

void TInstallationMarkers::markPackageAsFullyInstalled(const std::shared_ptr<TPackage>& package) const
{
    qInfo() << "markPackageAsFullyInstalled: " << package->name() << " Thread: " << QThread::currentThreadId();
    const QDir directory = packageDirectory(package);
    const auto [partial, full] = markerFilePaths(directory);
    // The full marker vouches for the files, so they and their folders reach the disk first; one
    // sync of the file system covers everything the run wrote. The partial marker goes only once
    // the full one is in place.
    m_pLauncherFilesystemHelper->fileSystemHelper().syncFileSystem(directory.absolutePath());
    writeOfferedAssetDocument(package, directory);
    const auto offered = package->currentConfiguration();
    m_pLauncherFilesystemHelper->writeMarkerFile(full, offered ? offered->packageDocument() : QByteArray());
    m_pLauncherFilesystemHelper->removeMarkerFile(partial);
    package->setLocalPackageStatus(ELocalPackageStatus::Installed);
}

void TInstallationMarkers::setDefaultPackage(const std::vector<std::shared_ptr<TPackage>>& packages,
                                             const std::shared_ptr<TPackage>& package) const
{
    for (const auto& other : packages) {
        other->setLocalPackageStatus(determineLocalPackageStatus(other));
        m_pLauncherFilesystemHelper->removeMarkerFile(defaultMarkerPath(packageDirectory(other)));
        other->setIsDefault(false);
    }
    if (!package)
        return;
    const QString marker = defaultMarkerPath(packageDirectory(package));
    if (QFileInfo(marker).isDir())
        qWarning() << "a folder takes the place of" << marker << "; the default client is not remembered";
    else
        m_pLauncherFilesystemHelper->writeFileCreatingFolder(marker, QByteArray());
    package->setIsDefault(true);
}

} // namespace orvan::launcher
