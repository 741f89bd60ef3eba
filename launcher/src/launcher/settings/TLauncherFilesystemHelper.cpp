#include "TLauncherFilesystemHelper.h"

#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>
#include <QSettings>
#include <QStandardPaths>

// Resources are compiled into a static library; registering them here guarantees the linker
// keeps them wherever the paths helper is used.
static void initLauncherResources()
{
    Q_INIT_RESOURCE(settings);
}

namespace orvan::launcher {

TLauncherFilesystemHelper::TLauncherFilesystemHelper()
    : TLauncherFilesystemHelper(TLauncherSettings::locateSettingsFile())
{}

TLauncherFilesystemHelper::TLauncherFilesystemHelper(const QString& settingsFilePath)
    : TLauncherFilesystemHelper(settingsFilePath, std::make_shared<const ::shared::TFileSystemHelper>())
{}

TLauncherFilesystemHelper::TLauncherFilesystemHelper(
    const QString& settingsFilePath, std::shared_ptr<const ::shared::TFileSystemHelper> fileSystemHelper)
    : fileSystemHelper_(std::move(fileSystemHelper))
{
    initLauncherResources();
    const std::shared_ptr<QSettings> file = fileSystemHelper_->openSettingsFile(settingsFilePath);
    settings_ = std::make_shared<const TLauncherSettings>(TLauncherSettings::fromSettings(*file));
    accountGroupTargetPath_ = fileSystemHelper_->joinPath({settings_->settingsTarget, settings_->accountGroupFile});
    accountGroupFileName_ = settings_->accountGroupFile;
}

QDir TLauncherFilesystemHelper::packagesDirectory() const
{
    const QDir dataDirectory(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    return fileSystemHelper_->createFolder(
        fileSystemHelper_->resolvePathInsideDirectory(dataDirectory, settings_->packages));
}

void TLauncherFilesystemHelper::writeFileCreatingFolder(const QString& path, const QByteArray& data) const
{
    fileSystemHelper_->createFolder(QFileInfo(path).absoluteDir().absolutePath());
    fileSystemHelper_->writeFile(path, data);
}

void TLauncherFilesystemHelper::removeFileOrFolder(const QString& path) const
{
    // A link goes as a link: emptying the folder it points to would delete files outside.
    const QFileInfo entry(path);
    if (!entry.isSymLink() && entry.isDir())
        QDir(path).removeRecursively();
    else if (entry.isSymLink() || entry.exists())
        fileSystemHelper_->deleteFile(path);
}

void TLauncherFilesystemHelper::moveFile(const QString& from, const QString& to) const
{
    if (!QFileInfo::exists(from))
        return;
    removeFileOrFolder(to);
    QFile(from).rename(to);
}

void TLauncherFilesystemHelper::writeMarkerFile(const QString& path, const QByteArray& data) const
{
    fileSystemHelper_->createFolder(QFileInfo(path).absoluteDir().absolutePath());
    fileSystemHelper_->writeFileAtomically(path, data);
}

void TLauncherFilesystemHelper::moveMarkerFile(const QString& from, const QString& to) const
{
    if (fileSystemHelper_->fileExists(from))
        fileSystemHelper_->renameFile(from, to);
}

bool TLauncherFilesystemHelper::removeMarkerFile(const QString& path) const
{
    return fileSystemHelper_->removeRegularFile(path);
}

QString TLauncherFilesystemHelper::accountGroupFilePath() const
{
    QMutexLocker lock(&accountGroupPathMutex_);
    if (accountGroupFilePath_.isEmpty()) {
        const QString dataLocation =
            QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).absolutePath();
        accountGroupFilePath_ = fileSystemHelper_->joinPath({dataLocation, settings_->accountGroupFile});
    }
    return accountGroupFilePath_;
}

bool TLauncherFilesystemHelper::accountGroupFileExists() const
{
    return QFile::exists(accountGroupFilePath());
}

} // namespace orvan::launcher
