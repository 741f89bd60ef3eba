#include "TSourceFile.h"

#include <QDir>
#include <QDirIterator>
#include <QFileInfo>

#include <algorithm>

namespace packbuilder {

std::vector<TSourceFile> TSourceFile::list(const QString& Directory, const QStringList& Exclude,
                                           const QString& ExcludeFolder)
{
    const QDir root(Directory);
    const QString excludedPrefix =
        ExcludeFolder.isEmpty() ? QString() : QDir::cleanPath(ExcludeFolder) + QLatin1Char('/');
    std::vector<TSourceFile> files;
    QDirIterator iterator(Directory, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (iterator.hasNext()) {
        iterator.next();
        const QFileInfo info = iterator.fileInfo();
        const QString localFile = root.relativeFilePath(info.absoluteFilePath());
        if (!info.isFile() || Exclude.contains(localFile) ||
            (!excludedPrefix.isEmpty() && info.absoluteFilePath().startsWith(excludedPrefix)))
            continue;
        const QFileDevice::Permissions executeBits =
            QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;
        files.push_back({localFile, info.absoluteFilePath(), static_cast<quint64>(info.size()),
                         (info.permissions() & executeBits) != 0});
    }
    std::sort(files.begin(), files.end(),
              [](const TSourceFile& Left, const TSourceFile& Right) { return Left.localFile < Right.localFile; });
    return files;
}

} // namespace packbuilder
