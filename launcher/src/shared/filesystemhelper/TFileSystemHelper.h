#pragma once

#include "TLocalFileInfo.h"
#include "TReadOnlyMemoryBlob.h"

#include <QByteArray>
#include <QDir>
#include <QJsonDocument>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

class QImage;
class QSettings;

namespace shared {

/// The one gateway to the local file system. Stateless, so one instance may be shared by any
/// number of threads. Operations call each other virtually, so an override changes the operations
/// built on it. Failures throw std::runtime_error (TFileIoError for I/O failures).
class TFileSystemHelper
{
public:
    TFileSystemHelper() = default;
    TFileSystemHelper(const TFileSystemHelper&) = default;
    TFileSystemHelper& operator=(const TFileSystemHelper&) = default;
    virtual ~TFileSystemHelper();

    /// The file at path, or its compressed ".lzma" twin when only that one exists.
    virtual std::shared_ptr<TReadOnlyMemoryBlob> openReadOnlyMemoryBlob(const QString& path) const;
    virtual QByteArray readFile(const QString& path) const;
    /// As readFile, but a file that cannot be opened gives an empty array.
    virtual QByteArray readFileIfPresent(const QString& path) const;
    virtual void writeFile(const QString& path, const QByteArray& data) const;
    /// Writes without reporting failures.
    virtual void writeTextFile(const QString& path, const QString& text) const;
    /// Appends without reporting failures.
    virtual void appendTextFile(const QString& path, const QString& text) const;
    virtual void deleteFile(const QString& path) const;
    /// Copies without reporting failures.
    virtual void copyFile(const QString& sourcePath, const QString& targetPath) const;
    /// Creates the folder with all missing parents and returns a QDir on it.
    virtual QDir createFolder(const QString& path) const;
    /// base joined with relativePath, never outside base: a path that climbs out is reduced to
    /// its last component inside base.
    virtual QString resolvePathInsideDirectory(const QDir& base, const QString& relativePath) const;
    virtual void forEachFileInDirectory(const QString& path,
                                        const std::function<void(const TLocalFileInfo&)>& callback) const;
    /// The plain, non-hidden files directly in path, unsorted.
    virtual std::vector<TLocalFileInfo> listFilesInDirectory(const QString& path) const;
    /// True for files and directories.
    virtual bool fileExists(const QString& path) const;
    virtual bool directoryExists(const QString& path) const;
    /// The parts joined with "/", without cleaning.
    virtual QString joinPath(const QStringList& parts) const;
    /// A QDir on parentPath/subdirectoryName, created when missing; the parent must exist.
    virtual QDir getOrCreateSubdirectory(const QString& parentPath, const QString& subdirectoryName) const;
    virtual std::shared_ptr<QSettings> openSettingsFile(const QString& path) const;
    /// A null document for a missing or empty file (parseFailed false) or a broken one (parseFailed
    /// true, with a warning in the log).
    virtual QJsonDocument readJsonFileAsQJsonDocument(const QString& path, bool& parseFailed) const;
    /// Empty when the file is missing or not a readable image.
    virtual std::shared_ptr<QImage> readImageFile(const QString& path, const char* format) const;
    virtual void writeImageFile(const QImage& image, const QString& path, const char* format) const;

    /// Replaces path by data so that a crash leaves either the old or the new content: the data
    /// goes to a temporary file next to it, which is synced, closed and renamed over path, and the
    /// folder is synced. Fails with the I/O error; the temporary file does not stay behind.
    virtual void writeFileAtomically(const QString& path, const QByteArray& data) const;
    /// Renames sourcePath to targetPath in one step, replacing a file at targetPath, and syncs the
    /// folder. Fails with the I/O error.
    virtual void renameFile(const QString& sourcePath, const QString& targetPath) const;
    /// Removes path when it is a file or a symbolic link; a folder stays untouched. True when
    /// something was removed; a failed removal throws as deleteFile does.
    virtual bool removeRegularFile(const QString& path) const;
    /// Writes everything cached for the file system that holds path to the disk, including
    /// earlier write errors of any file on it. Fails with the I/O error.
    virtual void syncFileSystem(const QString& path) const;
    /// Makes the entries of the folder that holds path (created, renamed or removed names) durable.
    /// Fails with the I/O error.
    static void syncFolderOf(const QString& path);
};

} // namespace shared
