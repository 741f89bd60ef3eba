#include "TScanContext.h"

#include "TPackageInstallation.h"

#include "settings/TLauncherFilesystemHelper.h"

#include <QFile>
#include <QMutexLocker>

#include <algorithm>
#include <utility>

namespace orvan::launcher {

TScanContext::TScanContext(TPackageInstallation* installation, QDir directory,
                           std::shared_ptr<TLauncherFilesystemHelper> helper, TChunkInPackageVector offeredChunks)
    : m_installation(installation), m_directory(directory),
      m_directoryPath(QDir::cleanPath(m_directory.absolutePath())), m_helper(std::move(helper)),
      m_offeredChunks(std::move(offeredChunks))
{}

void TScanContext::addFile(const TFileInPackage& file)
{
    const QString path = pathOf(file.localFile);
    QFile local(path);
    if (local.exists())
        m_bytesToScan += local.size();
    m_workList.append(file);
}

void TScanContext::sortLargestFirst()
{
    std::sort(m_workList.begin(), m_workList.end(), [](const TFileInPackage& left, const TFileInPackage& right) {
        return left.unpackedSize > right.unpackedSize;
    });
}

void TScanContext::setInstalledConfiguration(TFileInPackageVector files, TChunkInPackageVector chunks)
{
    m_installedFiles = std::move(files);
    m_installedChunks = std::move(chunks);
}

bool TScanContext::takeNextFile(TFileInPackage& file)
{
    if (cancelled())
        return false;
    QMutexLocker lock(&m_mutex);
    if (m_workList.isEmpty())
        return false;
    file = m_workList.takeFirst();
    return true;
}

void TScanContext::addScannedBytes(quint64 bytes)
{
    QMutexLocker lock(&m_mutex);
    m_bytesScanned += static_cast<qint64>(bytes);
    if (m_installation != nullptr)
        emit m_installation->scanProgress(static_cast<TFileSize>(m_bytesScanned),
                                          static_cast<TFileSize>(m_bytesToScan));
}

QString TScanContext::pathOf(const QString& localFile) const
{
    return m_helper->fileSystemHelper().resolvePathInsideDirectory(m_directory, localFile);
}

bool TScanContext::isInstallationDirectory(const QString& path) const
{
    return QDir::cleanPath(path) == m_directoryPath;
}

bool TScanContext::cancelled() const
{
    return m_installation != nullptr && m_installation->backgroundWorkCancelled();
}

} // namespace orvan::launcher
