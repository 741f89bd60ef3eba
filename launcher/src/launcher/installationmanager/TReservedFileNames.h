#pragma once

#include "installation/ESelfUpdateMode.h"

#include <QDir>
#include <QSet>
#include <QString>
#include <QStringList>

namespace shared {
class TFileSystemHelper;
}

namespace orvan::launcher {

class TLauncherSettings;
class TPackageConfigurationReader;

/// The names inside an installation directory that belong to the launcher rather than to the
/// package: the markers, the asset document, "default", "FORCE_PATCH", the account group target,
/// the self-update journals, the names of temporary files at the top of the directory, and, for
/// each file of the package, the names the launcher writes beside it: "<file>.new" and
/// "<file>.old" in self-update mode, "<file>.log" with the debug setting chunkVerification. A
/// package file at one of them, or below one, would be overwritten or deleted by the launcher's
/// bookkeeping, so such a package is invalid package data.
class TReservedFileNames
{
public:
    static const QString DefaultMarkerName;
    static const QString ForcePatchMarkerName;

    TReservedFileNames(const TLauncherSettings& settings, const QString& accountGroupTargetPath,
                       ESelfUpdateMode mode = ESelfUpdateMode::Off);

    /// The localFile of every file of Configuration that lands on a reserved name in Directory
    /// or below one, compared after path confinement, so "./package.json" counts too.
    QStringList filesOnReservedNames(const TPackageConfigurationReader& configuration, const QDir& directory,
                                     const ::shared::TFileSystemHelper& files) const;

private:
    /// Whether Path (resolved) is a temporary file's name at the top of the directory, or the name
    /// the launcher writes beside another file of the package.
    bool isLaunchersTemporaryName(const QString& path, const QString& directoryPath,
                                  const QSet<QString>& packagePaths) const;

    QStringList m_names;
    QStringList m_topLevelPrefixes;
    QStringList m_suffixesBesideFiles;
};

} // namespace orvan::launcher
