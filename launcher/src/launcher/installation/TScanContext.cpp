#include "TScanContext.h"

#include "TDeltaBaseStore.h"
#include "TRunControl.h"

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

TScanContext::TScanContext(std::shared_ptr<const TRunControl> runControl, TProgressCallback progress, QDir directory,
                           std::shared_ptr<TLauncherFilesystemHelper> helper,
                           const TChunkInPackageVector& offeredChunks)
    : m_runControl(std::move(runControl)), m_progress(std::move(progress)), m_directory(directory),
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
    if (checkpoint())
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
    // Reported under the lock, so that the totals arrive in order.
    if (m_progress)
        m_progress(static_cast<TFileSize>(m_bytesScanned), static_cast<TFileSize>(m_bytesToScan));
}

QString TScanContext::pathOf(const QString& localFile) const
{
    return m_helper->fileSystemHelper().resolvePathInsideDirectory(m_directory, localFile);
}

bool TScanContext::isInstallationDirectory(const QString& path) const
{
    return QDir::cleanPath(path) == m_directoryPath;
}

bool TScanContext::checkpoint() const
{
    return m_runControl && m_runControl->checkpoint();
}

std::shared_ptr<TDeltaBaseStore> TScanContext::deltaBaseStore()
{
    const QMutexLocker lock(&m_mutex);
    if (!m_deltaBaseStore)
        m_deltaBaseStore = std::make_shared<TDeltaBaseStore>(m_directoryPath);
    return m_deltaBaseStore;
}

} // namespace orvan::launcher
