#include "TSourceFile.h"

#include "TPackBuildError.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <algorithm>

#include <dirent.h>
#include <sys/stat.h>

namespace packbuilder {

namespace {

/// The directory iterator silently drops names it can't decode, so the folder is walked again
/// on the bytes: every name below Folder that is not valid UTF-8 (which the package document
/// can't name) goes to Found, relative to the source folder. excludeFolder is not entered.
void findNamesThatAreNotUtf8(const QByteArray& folder, const QString& relative, const QByteArray& excludeFolder,
                             QStringList& found)
{
    DIR* directory = ::opendir(folder.constData());
    if (directory == nullptr)
        return;
    while (const dirent* entry = ::readdir(directory)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == "..")
            continue;
        const QString decoded = QString::fromUtf8(name);
        const QString entryPath = relative.isEmpty() ? decoded : relative + QLatin1Char('/') + decoded;
        const QByteArray path = folder + '/' + name;
        struct stat status
        {
        };
        if (decoded.toUtf8() != name)
            found << QStringLiteral("'%1': the file name is not valid UTF-8").arg(entryPath);
        else if (path != excludeFolder && ::lstat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode))
            findNamesThatAreNotUtf8(path, entryPath, excludeFolder, found);
    }
    ::closedir(directory);
}

bool isInside(const QString& path, const QString& folder)
{
    return !path.isEmpty() && path.startsWith(folder + QLatin1Char('/'));
}

} // namespace

std::vector<TSourceFile> TSourceFile::list(const QString& directory, const QStringList& exclude,
                                           const QString& excludeFolder)
{
    const QDir root(directory);
    const QString excludedPrefix =
        excludeFolder.isEmpty() ? QString() : QDir::cleanPath(excludeFolder) + QLatin1Char('/');
    const QString canonicalRoot = root.canonicalPath();
    std::vector<TSourceFile> files;
    QStringList unpublishable;
    findNamesThatAreNotUtf8(QFile::encodeName(root.absolutePath()), QString(),
                            QFile::encodeName(QDir::cleanPath(excludeFolder)), unpublishable);
    QDirIterator iterator(directory, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (iterator.hasNext()) {
        iterator.next();
        const QFileInfo info = iterator.fileInfo();
        const QString localFile = root.relativeFilePath(info.absoluteFilePath());
        if (exclude.contains(localFile) ||
            (!excludedPrefix.isEmpty() && info.absoluteFilePath().startsWith(excludedPrefix)))
            continue;
        if (!info.isFile())
            continue;
        // A link may share a file of the source folder; one that leaves it would publish
        // whatever it points to.
        if (info.isSymLink() && !isInside(info.canonicalFilePath(), canonicalRoot)) {
            unpublishable << QStringLiteral("'%1': a symbolic link to '%2', outside the source folder")
                                 .arg(localFile, info.symLinkTarget());
            continue;
        }
        const QFileDevice::Permissions executeBits =
            QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;
        files.push_back({localFile, info.absoluteFilePath(), static_cast<quint64>(info.size()),
                         (info.permissions() & executeBits) != 0});
    }
    if (!unpublishable.isEmpty())
        throw TPackBuildError(QStringLiteral("cannot publish ") + unpublishable.join(QStringLiteral("; ")));
    std::sort(files.begin(), files.end(),
              [](const TSourceFile& left, const TSourceFile& right) { return left.localFile < right.localFile; });
    return files;
}

} // namespace packbuilder
