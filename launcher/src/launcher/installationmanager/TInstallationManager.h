#pragma once

#include <QByteArray>
#include <QDir>
#include <QObject>
#include <QString>

#include <memory>
#include <utility>

namespace orvan::launcher {

class TLauncherConfigurationReader;
class TLauncherFilesystemHelper;
class TPackage;
class TPackageConfigurationReader;

/// Knows what is installed: the installation directory of each package, the marker files that
/// record a partial or full installation, the default client package. Runs on the main thread.
class TInstallationManager : public QObject
{
    Q_OBJECT

public:
    /// Refreshes every package's status from the disk and picks the default package.
    TInstallationManager(std::shared_ptr<TLauncherConfigurationReader> Configuration,
                         std::shared_ptr<TLauncherFilesystemHelper> LauncherFilesystemHelper);
    ~TInstallationManager() override;

    QDir packageDirectory(const std::shared_ptr<TPackage>& Package) const;
    /// (partial marker path, full marker path) inside Directory.
    std::pair<QString, QString> markerFilePaths(const QDir& Directory) const;
    QString assetFilePath(const QDir& Directory) const;
    int determineLocalPackageStatus(const std::shared_ptr<TPackage>& Package) const;
    /// The configuration recorded by the full marker, else by the partial marker, else empty.
    TPackageConfigurationReader readPackageConfigurationFromInstallationDirectory(const QDir& Directory) const;

    void markPackageAsPartiallyInstalled(const std::shared_ptr<TPackage>& Package, const QByteArray& PackageDocument,
                                         const QByteArray& AssetDocument);
    void updatePartiallyInstalledPackage(const std::shared_ptr<TPackage>& Package);
    void markPackageAsFullyInstalled(const std::shared_ptr<TPackage>& Package);
    /// Copies the per-user account group file into the client's settings folder when it exists.
    void copyAccountGroupFile(const std::shared_ptr<TPackage>& Package) const;

    /// Makes Package the default client package; an empty pointer clears the default.
    void setDefaultPackage(const std::shared_ptr<TPackage>& Package);
    std::shared_ptr<TPackage> defaultPackage() const;
    /// The client executable of the package's current build, empty when unknown.
    QString clientExecutablePath(const std::shared_ptr<TPackage>& Package) const;

    std::shared_ptr<TLauncherConfigurationReader> configuration() const { return m_configuration; }
    std::shared_ptr<TLauncherFilesystemHelper> launcherFilesystemHelper() const { return m_pLauncherFilesystemHelper; }
    int selfUpdateMode() const { return m_selfUpdateMode; }
    void setSelfUpdateMode(int SelfUpdateMode) { m_selfUpdateMode = SelfUpdateMode; }

private:
    TPackageConfigurationReader readMarker(const QString& MarkerPath, const QDir& Directory) const;
    QString defaultMarkerPath(const QDir& Directory) const;
    void refreshLocalPackageStatus(const std::shared_ptr<TPackage>& Package) const;
    void writeOfferedAssetDocument(const std::shared_ptr<TPackage>& Package, const QDir& Directory) const;

    std::shared_ptr<TLauncherConfigurationReader> m_configuration;
    std::shared_ptr<TLauncherFilesystemHelper> m_pLauncherFilesystemHelper;
    int m_selfUpdateMode = 0;
};

} // namespace orvan::launcher
