#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace packbuilder {

/// One regular file of a source folder.
struct TSourceFile
{
    /// Relative to the source folder, with "/" separators: the file's name in the package.
    QString localFile;
    QString absolutePath;
    quint64 size = 0;
    /// Any execute permission bit is set.
    bool executableBit = false;

    /// The files below Directory sorted by localFile, hidden ones included; the names in Exclude
    /// (relative paths) and everything below excludeFolder (an absolute path) are left out.
    /// Throws TPackBuildError naming every file that can't be published: a name that is not
    /// valid UTF-8, or a symbolic link to a file outside Directory.
    static std::vector<TSourceFile> list(const QString& directory, const QStringList& exclude,
                                         const QString& excludeFolder = QString());
};

} // namespace packbuilder
