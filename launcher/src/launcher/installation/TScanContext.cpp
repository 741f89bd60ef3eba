#include "TScanContext.h"

#include "TDeltaBaseStore.h"

#include "TPackageInstallation.h"

#include "settings/TLauncherFilesystemHelper.h"

#include <QFileInfo>
#include <QMutexLocker>

#include <algorithm>
#include <utility>

namespace orvan::launcher {

namespace {

const TFileInPackageVector NoFiles;
const TChunkInPackageVector NoChunks;

} // namespace

TScanContext::TScanContext(TPackageInstallation* installation, QDir directory,
                           std::shared_ptr<TLauncherFilesystemHelper> helper,
                           const TChunkInPackageVector& offeredChunks)
    : m_installation(installation), m_directory(directory),
      m_directoryPath(QDir::cleanPath(m_directory.absolutePath())), m_helper(std::move(helper)),
      m_offeredChunks(&offeredChunks), m_installedFiles(&NoFiles), m_installedChunks(&NoChunks)
{}

void TScanContext::addFile(const TFileInPackage& file, const QString& path)
{
    // One stat: a missing file gives no size.
    const QFileInfo local(path);
    if (local.exists())
        m_bytesToScan += local.size();
    m_workList.push_back({&file, path});
}

void TScanContext::sortLargestFirst()
{
    std::sort(m_workList.begin(), m_workList.end(), [](const TWorkItem& left, const TWorkItem& right) {
        return left.file->unpackedSize > right.file->unpackedSize;
    });
}

void TScanContext::setInstalledConfiguration(const TFileInPackageVector& files, const TChunkInPackageVector& chunks)
{
    m_installedFiles = &files;
    m_installedChunks = &chunks;
}

bool TScanContext::takeNextFile(TWorkItem& item)
{
    if (cancelled())
        return false;
    QMutexLocker lock(&m_mutex);
    if (m_nextItem == m_workList.size())
        return false;
    item = std::move(m_workList[m_nextItem++]);
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
    return m_installation != nullptr && m_installation->backgroundWorkStopsHere();
}

std::shared_ptr<TDeltaBaseStore> TScanContext::deltaBaseStore()
{
    const QMutexLocker lock(&m_mutex);
    if (!m_deltaBaseStore)
        m_deltaBaseStore = std::make_shared<TDeltaBaseStore>(m_directoryPath);
    return m_deltaBaseStore;
}

} // namespace orvan::launcher
