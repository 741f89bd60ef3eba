#pragma once

#include "filesystemhelper/TFileSystemHelper.h"
#include "settings/TLauncherSettings.h"

#include <QByteArray>
#include <QDir>
#include <QMutex>
#include <QString>

#include <memory>

namespace orvan::launcher {

/// The launcher's paths helper: owns the settings record and the file system gateway, and knows
/// where packages, markers and the account group file live. Immutable after construction apart
/// from the lazily computed account group path, so it may be shared with worker threads.
class TLauncherFilesystemHelper
{
public:
    /// Reads launchersettings.ini from next to the executable, or the compiled-in default.
    TLauncherFilesystemHelper();
    /// Reads the settings from the given INI file (a resource path works too).
    explicit TLauncherFilesystemHelper(const QString& settingsFilePath);
    /// As above, with every file operation going through fileSystemHelper.
    TLauncherFilesystemHelper(const QString& settingsFilePath,
                              std::shared_ptr<const ::shared::TFileSystemHelper> fileSystemHelper);

    const ::shared::TFileSystemHelper& fileSystemHelper() const { return *m_fileSystemHelper; }
    std::shared_ptr<const TLauncherSettings> settings() const { return m_settings; }
    const QString& accountGroupTargetPath() const { return m_accountGroupTargetPath; }
    const QString& accountGroupFileName() const { return m_accountGroupFileName; }

    /// The packages folder below the application data location; created when missing.
    QDir packagesDirectory() const;
    void writeFileCreatingFolder(const QString& path, const QByteArray& data) const;
    void removeFileOrFolder(const QString& path) const;
    /// Replaces `to` by `from` when `from` exists; failures of the rename are ignored.
    void moveFile(const QString& from, const QString& to) const;

    /// Marker files record what is installed, so they change in single durable steps: a marker
    /// is replaced atomically, moved by one rename, and removed only when it is a file (a folder
    /// of that name belongs to someone else and stays).
    void writeMarkerFile(const QString& path, const QByteArray& data) const;
    /// Renames an existing marker over `to`; failures throw.
    void moveMarkerFile(const QString& from, const QString& to) const;
    /// True when a marker file was removed.
    bool removeMarkerFile(const QString& path) const;

    /// Per-user account group file: application data location joined with accountGroupFile.
    QString accountGroupFilePath() const;
    bool accountGroupFileExists() const;

private:
    std::shared_ptr<const ::shared::TFileSystemHelper> m_fileSystemHelper;
    std::shared_ptr<const TLauncherSettings> m_settings;
    mutable QMutex m_accountGroupPathMutex;
    mutable QString m_accountGroupFilePath;
    QString m_accountGroupTargetPath;
    QString m_accountGroupFileName;
};

} // namespace orvan::launcher
