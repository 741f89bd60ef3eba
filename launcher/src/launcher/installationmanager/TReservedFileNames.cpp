#include "TReservedFileNames.h"

#include "configuration/TPackageConfigurationReader.h"
#include "filesystemhelper/TFileSystemHelper.h"
#include "installation/TChunkWriteLog.h"
#include "installation/TPendingChunkStore.h"
#include "installation/TReplacementJournal.h"
#include "installation/TScratchFile.h"
#include "settings/TLauncherSettings.h"

#include "TCaseCollisions.h"

#include <QFileInfo>

#include <algorithm>

namespace orvan::launcher {

const QString TReservedFileNames::DefaultMarkerName = QStringLiteral("default");
const QString TReservedFileNames::ForcePatchMarkerName = QStringLiteral("FORCE_PATCH");

TReservedFileNames::TReservedFileNames(const TLauncherSettings& settings, const QString& accountGroupTargetPath,
                                       ESelfUpdateMode mode)
    : m_names{settings.packageFile,
              settings.partialPackageFile,
              settings.assetFile,
              DefaultMarkerName,
              ForcePatchMarkerName,
              accountGroupTargetPath,
              TReplacementJournal::journalName,
              TReplacementJournal::retiredListName},
      m_topLevelPrefixes{TPendingChunkStore::temporaryFilePrefix, TScratchFile::fallbackPrefix,
                         TCaseCollisions::probePrefix}
{
    if (mode == ESelfUpdateMode::Launcher)
        m_suffixesBesideFiles << TReplacementJournal::temporarySuffix << TReplacementJournal::backupSuffix;
    if (settings.chunkVerification)
        m_suffixesBesideFiles << TChunkWriteLog::suffix;
}

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
    QStringList paths;
    for (const TFileInPackage& file : configuration.files())
        paths << files.resolvePathInsideDirectory(directory, file.localFile);
    const QSet<QString> packagePaths(paths.begin(), paths.end());
    QStringList found;
    for (std::size_t index = 0; index < configuration.files().size(); ++index) {
        const QString& path = paths.at(static_cast<int>(index));
        const bool onReservedName = std::any_of(reserved.begin(), reserved.end(), [&path](const QString& name) {
            return path == name || path.startsWith(name + QLatin1Char('/'));
        });
        if (onReservedName || isLaunchersTemporaryName(path, directoryPath, packagePaths))
            found << configuration.files()[index].localFile;
    }
    return found;
}

bool TReservedFileNames::isLaunchersTemporaryName(const QString& path, const QString& directoryPath,
                                                  const QSet<QString>& packagePaths) const
{
    const QFileInfo entry(path);
    if (entry.path() == directoryPath) {
        const QString name = entry.fileName();
        if (std::any_of(m_topLevelPrefixes.begin(), m_topLevelPrefixes.end(),
                        [&name](const QString& prefix) { return name.startsWith(prefix); }))
            return true;
    }
    return std::any_of(m_suffixesBesideFiles.begin(), m_suffixesBesideFiles.end(), [&](const QString& suffix) {
        return path.endsWith(suffix) && packagePaths.contains(path.chopped(suffix.size()));
    });
}

} // namespace orvan::launcher
