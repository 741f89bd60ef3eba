#include "TScanContext.h"

#include "TPackageInstallation.h"

#include "settings/TLauncherFilesystemHelper.h"

#include <QFile>
#include <QMutexLocker>

#include <algorithm>
#include <utility>

namespace orvan::launcher {

TScanContext::TScanContext(TPackageInstallation* Installation, QDir Directory,
                           std::shared_ptr<TLauncherFilesystemHelper> Helper, TChunkInPackageVector OfferedChunks)
    : m_installation(Installation), m_directory(Directory),
      m_directoryPath(QDir::cleanPath(m_directory.absolutePath())), m_helper(std::move(Helper)),
      m_offeredChunks(std::move(OfferedChunks))
{}

void TScanContext::addFile(const TFileInPackage& File)
{
    const QString path = pathOf(File.localFile);
    QFile local(path);
    if (local.exists())
        m_bytesToScan += local.size();
    m_workList.append(File);
}

void TScanContext::sortLargestFirst()
{
    std::sort(m_workList.begin(), m_workList.end(), [](const TFileInPackage& Left, const TFileInPackage& Right) {
        return Left.unpackedSize > Right.unpackedSize;
    });
}

void TScanContext::setInstalledConfiguration(TFileInPackageVector Files, TChunkInPackageVector Chunks)
{
    m_installedFiles = std::move(Files);
    m_installedChunks = std::move(Chunks);
}

bool TScanContext::takeNextFile(TFileInPackage& File)
{
    if (cancelled())
        return false;
    QMutexLocker lock(&m_mutex);
    if (m_workList.isEmpty())
        return false;
    File = m_workList.takeFirst();
    return true;
}

void TScanContext::addScannedBytes(quint64 Bytes)
{
    QMutexLocker lock(&m_mutex);
    m_bytesScanned += static_cast<qint64>(Bytes);
    if (m_installation != nullptr)
        emit m_installation->scanProgress(static_cast<TFileSize>(m_bytesScanned),
                                          static_cast<TFileSize>(m_bytesToScan));
}

QString TScanContext::pathOf(const QString& LocalFile) const
{
    return m_helper->fileSystemHelper().resolvePathInsideDirectory(m_directory, LocalFile);
}

bool TScanContext::isInstallationDirectory(const QString& Path) const
{
    return QDir::cleanPath(Path) == m_directoryPath;
}

bool TScanContext::cancelled() const
{
    return m_installation != nullptr && m_installation->backgroundWorkCancelled();
}

} // namespace orvan::launcher
