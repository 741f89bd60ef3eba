#include "TCaseCollisions.h"

#include "configuration/TPackageConfigurationReader.h"
#include "filesystemhelper/TFileSystemHelper.h"
#include "installation/TDiskSpaceCheck.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>
#include <QTemporaryFile>

#include <utility>

namespace orvan::launcher {

const QString TCaseCollisions::probePrefix = QStringLiteral(".case-probe-");

TCaseCollisions::TCaseCollisions() : m_ignoresCase(&TCaseCollisions::ignoresCase) {}

void TCaseCollisions::setCaseProbe(TCaseProbe probe)
{
    m_ignoresCase = std::move(probe);
}

QStringList TCaseCollisions::collidingFiles(const TPackageConfigurationReader& configuration, const QDir& directory,
                                            const ::shared::TFileSystemHelper& files) const
{
    const QStringList colliding = filesDifferingOnlyInCase(configuration, directory, files);
    if (colliding.isEmpty())
        return {};
    // A folder that doesn't exist yet will live on the file system of its nearest existing parent.
    return m_ignoresCase(TDiskSpaceCheck::nearestExistingFolder(directory.absolutePath())) ? colliding : QStringList();
}

QStringList TCaseCollisions::filesDifferingOnlyInCase(const TPackageConfigurationReader& configuration,
                                                      const QDir& directory, const ::shared::TFileSystemHelper& files)
{
    QStringList paths;
    QHash<QString, QSet<QString>> spellingsByFoldedPath;
    for (const TFileInPackage& file : configuration.files()) {
        paths << files.resolvePathInsideDirectory(directory, file.localFile);
        spellingsByFoldedPath[paths.back().toCaseFolded()].insert(paths.back());
    }
    // Files listed twice under one spelling are one file everywhere: only other spellings collide.
    QStringList colliding;
    for (std::size_t index = 0; index < configuration.files().size(); ++index) {
        const QString& path = paths.at(static_cast<int>(index));
        if (spellingsByFoldedPath.value(path.toCaseFolded()).size() > 1)
            colliding << configuration.files()[index].localFile;
    }
    return colliding;
}

bool TCaseCollisions::ignoresCase(const QString& folder)
{
    QTemporaryFile probe(QDir(folder).filePath(probePrefix + QStringLiteral("XXXXXX")));
    if (!probe.open())
        return false;
    const QFileInfo created(probe.fileName());
    return QFileInfo::exists(created.dir().filePath(created.fileName().toUpper()));
}

} // namespace orvan::launcher
