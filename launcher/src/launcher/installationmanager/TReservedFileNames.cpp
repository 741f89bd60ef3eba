#include "TReservedFileNames.h"

#include "configuration/TPackageConfigurationReader.h"
#include "filesystemhelper/TFileSystemHelper.h"
#include "settings/TLauncherSettings.h"

namespace orvan::launcher {

const QString TReservedFileNames::DefaultMarkerName = QStringLiteral("default");
const QString TReservedFileNames::ForcePatchMarkerName = QStringLiteral("FORCE_PATCH");

TReservedFileNames::TReservedFileNames(const TLauncherSettings& Settings, const QString& AccountGroupTargetPath)
    : m_names{Settings.packageFile, Settings.partialPackageFile, Settings.assetFile,
              DefaultMarkerName,    ForcePatchMarkerName,        AccountGroupTargetPath}
{}

QStringList TReservedFileNames::filesOnReservedNames(const TPackageConfigurationReader& Configuration,
                                                     const QDir& Directory,
                                                     const ::shared::TFileSystemHelper& Files) const
{
    const QString directoryPath = Files.resolvePathInsideDirectory(Directory, QString());
    QStringList reserved;
    for (const QString& name : m_names) {
        const QString path = Files.resolvePathInsideDirectory(Directory, name);
        // An empty setting resolves to the directory itself, which reserves nothing.
        if (!name.isEmpty() && path != directoryPath)
            reserved << path;
    }
    QStringList found;
    for (const TFileInPackage& file : Configuration.files()) {
        const QString path = Files.resolvePathInsideDirectory(Directory, file.localFile);
        for (const QString& name : reserved) {
            if (path == name || path.startsWith(name + QLatin1Char('/'))) {
                found << file.localFile;
                break;
            }
        }
    }
    return found;
}

} // namespace orvan::launcher
