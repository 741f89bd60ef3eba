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
    : m_fileSystemHelper(std::move(fileSystemHelper))
{
    initLauncherResources();
    const std::shared_ptr<QSettings> file = m_fileSystemHelper->openSettingsFile(settingsFilePath);
    m_settings = std::make_shared<const TLauncherSettings>(TLauncherSettings::fromSettings(*file));
    m_accountGroupTargetPath = m_fileSystemHelper->joinPath({m_settings->settingsTarget, m_settings->accountGroupFile});
    m_accountGroupFileName = m_settings->accountGroupFile;
}

QDir TLauncherFilesystemHelper::packagesDirectory() const
{
    const QDir dataDirectory(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    return m_fileSystemHelper->createFolder(
        m_fileSystemHelper->resolvePathInsideDirectory(dataDirectory, m_settings->packages));
}

void TLauncherFilesystemHelper::writeFileCreatingFolder(const QString& path, const QByteArray& data) const
{
    m_fileSystemHelper->createFolder(QFileInfo(path).absoluteDir().absolutePath());
    m_fileSystemHelper->writeFile(path, data);
}

void TLauncherFilesystemHelper::removeFileOrFolder(const QString& path) const
{
    // A link goes as a link: emptying the folder it points to would delete files outside.
    const QFileInfo entry(path);
    if (!entry.isSymLink() && entry.isDir())
        QDir(path).removeRecursively();
    else if (entry.isSymLink() || entry.exists())
        m_fileSystemHelper->deleteFile(path);
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
    m_fileSystemHelper->createFolder(QFileInfo(path).absoluteDir().absolutePath());
    m_fileSystemHelper->writeFileAtomically(path, data);
}

void TLauncherFilesystemHelper::moveMarkerFile(const QString& from, const QString& to) const
{
    if (m_fileSystemHelper->fileExists(from))
        m_fileSystemHelper->renameFile(from, to);
}

bool TLauncherFilesystemHelper::removeMarkerFile(const QString& path) const
{
    return m_fileSystemHelper->removeRegularFile(path);
}

QString TLauncherFilesystemHelper::accountGroupFilePath() const
{
    QMutexLocker lock(&m_accountGroupPathMutex);
    if (m_accountGroupFilePath.isEmpty()) {
        const QString dataLocation =
            QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).absolutePath();
        m_accountGroupFilePath = m_fileSystemHelper->joinPath({dataLocation, m_settings->accountGroupFile});
    }
    return m_accountGroupFilePath;
}

bool TLauncherFilesystemHelper::accountGroupFileExists() const
{
    return QFile::exists(accountGroupFilePath());
}

} // namespace orvan::launcher
