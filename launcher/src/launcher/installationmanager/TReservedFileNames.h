#pragma once

#include <QDir>
#include <QString>
#include <QStringList>

namespace shared {
class TFileSystemHelper;
}

namespace orvan::launcher {

class TLauncherSettings;
class TPackageConfigurationReader;

/// The names inside an installation directory that belong to the launcher rather than to the
/// package: the markers, the asset document, "default", "FORCE_PATCH" and the account group
/// target. A package file at one of them, or below one, would be overwritten or deleted by the
/// launcher's bookkeeping, so such a package is invalid package data.
class TReservedFileNames
{
public:
    static const QString DefaultMarkerName;
    static const QString ForcePatchMarkerName;

    TReservedFileNames(const TLauncherSettings& settings, const QString& accountGroupTargetPath);

    /// The localFile of every file of Configuration that lands on a reserved name in Directory
    /// or below one, compared after path confinement, so "./package.json" counts too.
    QStringList filesOnReservedNames(const TPackageConfigurationReader& configuration, const QDir& directory,
                                     const ::shared::TFileSystemHelper& files) const;

private:
    QStringList m_names;
};

} // namespace orvan::launcher
