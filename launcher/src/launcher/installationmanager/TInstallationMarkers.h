#pragma once

#include "configuration/ELocalPackageStatus.h"

#include <QByteArray>
#include <QDir>
#include <QString>
#include <QUrl>

#include <memory>
#include <utility>
#include <vector>

namespace orvan::launcher {

class TLauncherFilesystemHelper;
class TPackage;
class TPackageConfigurationReader;

/// The marker files that record what is installed in a package's directory: the full marker
/// ("package.json") and the partial one ("partial-package.json") with the package document, the
/// asset document beside them, and the "default" marker of the default client package; and the
/// local status of a package read from them. Runs on the main thread.
///
/// The marker order makes an interrupted run safe to repeat: the full marker is taken away before
/// any file changes and written back only after the last file was written (and verified) and
/// synced to the disk, so a run that was killed, or a power loss, leaves a partially installed
/// package whose next run compares every file. Markers change atomically, and at every moment
/// at least one of them exists. Failures to change a marker are thrown as std::runtime_error.
class TInstallationMarkers
{
public:
    /// The documents of the marker that records what is installed, read now to be parsed later
    /// (parsing a marker of tens of thousands of files takes a good part of a second).
    struct TInstalledDocuments
    {
        bool present = false;
        /// The full marker vouches for the files; the partial one does not.
        bool full = false;
        QByteArray packageDocument;
        QByteArray assetDocument;
        QUrl base;

        /// The recorded configuration; empty when no marker is present.
        TPackageConfigurationReader parse() const;
    };

    explicit TInstallationMarkers(std::shared_ptr<TLauncherFilesystemHelper> launcherFilesystemHelper);

    QDir packageDirectory(const std::shared_ptr<TPackage>& package) const;
    /// (partial marker path, full marker path) inside Directory.
    std::pair<QString, QString> markerFilePaths(const QDir& directory) const;
    QString assetFilePath(const QDir& directory) const;
    QString defaultMarkerPath(const QDir& directory) const;
    /// The marker that records what is installed in Directory, the full one before the partial
    /// one, logged as reading it is; empty when there is none.
    QString installedMarkerPath(const QDir& directory) const;
    TInstalledDocuments readInstalledDocuments(const QDir& directory) const;

    /// The configuration recorded by the full marker, else by the partial marker, else empty. A
    /// marker that holds exactly the documents of Known is not parsed again: Known itself is
    /// returned, its URLs resolved against its own base URLs.
    TPackageConfigurationReader
    readPackageConfigurationFromInstallationDirectory(const QDir& directory,
                                                      const TPackageConfigurationReader* known = nullptr) const;

    ELocalPackageStatus determineLocalPackageStatus(const std::shared_ptr<TPackage>& package) const;
    /// The status of an installation with a full marker of installedVersion.
    static ELocalPackageStatus statusOfFullInstallation(const QString& installedVersion,
                                                        const TPackageConfigurationReader& offered);
    /// Sets the status of every package from the disk and marks the first installed one that
    /// holds the default marker as the default.
    void loadStatuses(const std::vector<std::shared_ptr<TPackage>>& packages) const;

    void markPackageAsPartiallyInstalled(const std::shared_ptr<TPackage>& package, const QByteArray& packageDocument,
                                         const QByteArray& assetDocument) const;
    void updatePartiallyInstalledPackage(const std::shared_ptr<TPackage>& package) const;
    void markPackageAsFullyInstalled(const std::shared_ptr<TPackage>& package) const;

    /// Refreshes the status of every package and moves the default marker to Package; an empty
    /// pointer clears the default.
    void setDefaultPackage(const std::vector<std::shared_ptr<TPackage>>& packages,
                           const std::shared_ptr<TPackage>& package) const;

private:
    TPackageConfigurationReader readMarker(const QString& markerPath, const QDir& directory,
                                           const TPackageConfigurationReader* known) const;
    /// The version text of the full marker and the asset file of Directory.
    QString installedVersionText(const QString& fullMarkerPath, const QDir& directory,
                                 const TPackageConfigurationReader& offered) const;
    void writeOfferedAssetDocument(const std::shared_ptr<TPackage>& package, const QDir& directory) const;

    std::shared_ptr<TLauncherFilesystemHelper> m_pLauncherFilesystemHelper;
};

} // namespace orvan::launcher
