#include "TReservedFileNames.h"

#include "configuration/TPackageConfigurationReader.h"
#include "filesystemhelper/TFileSystemHelper.h"
#include "settings/TLauncherSettings.h"

namespace orvan::launcher {

const QString TReservedFileNames::DefaultMarkerName = QStringLiteral("default");
const QString TReservedFileNames::ForcePatchMarkerName = QStringLiteral("FORCE_PATCH");

TReservedFileNames::TReservedFileNames(const TLauncherSettings& settings, const QString& accountGroupTargetPath)
    : m_names{settings.packageFile, settings.partialPackageFile, settings.assetFile,
              DefaultMarkerName,    ForcePatchMarkerName,        accountGroupTargetPath}
{}

QStringList TReservedFileNames::filesOnReservedNames(const TPackageConfigurationReader& configuration,
                                                     const QDir& directory,
                                                     const ::shared::TFileSystemHelper& files) const
{
    const QString directoryPath = files.resolvePathInsideDirectory(directory, QString());
    QStringList reserved;
    for (const QString& name : m_names) {
        const QString path = files.resolvePathInsideDirectory(directory, name);
        // An empty setting resolves to the directory itself, which reserves nothing.
        if (!name.isEmpty() && path != directoryPath)
            reserved << path;
    }
    QStringList found;
    for (const TFileInPackage& file : configuration.files()) {
        const QString path = files.resolvePathInsideDirectory(directory, file.localFile);
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
