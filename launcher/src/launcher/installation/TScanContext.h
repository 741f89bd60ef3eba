#pragma once

#include "TProgressCallback.h"

#include "configuration/TChunkInPackageVector.h"
#include "configuration/TFileInPackage.h"
#include "configuration/TFileInPackageVector.h"

#include <QDir>
#include <QMutex>
#include <QString>

#include <cstddef>
#include <memory>
#include <vector>

namespace orvan::launcher {

class TDeltaBaseStore;
class TLauncherFilesystemHelper;
class TRunControl;

/// State shared by the scanning tasks of one difference computation. The mutex guards the work
/// list and the scanned-bytes counter with its progress report; everything else is read-only
/// while the tasks run. The file and chunk lists are referred to, not copied: they must outlive
/// the context.
class TScanContext
{
public:
    /// One queued file and its resolved path.
    struct TWorkItem
    {
        const TFileInPackage* file = nullptr;
        QString path;
    };

    /// RunControl and Progress may be empty for a context that only resolves paths.
    TScanContext(std::shared_ptr<const TRunControl> runControl, TProgressCallback progress, QDir directory,
                 std::shared_ptr<TLauncherFilesystemHelper> helper, const TChunkInPackageVector& offeredChunks);

    /// Queues File, whose resolved path is Path, and adds the size of its local copy, if any, to
    /// the bytes to scan. File must outlive the context.
    void addFile(const TFileInPackage& file, const QString& path);
    /// Orders the work list largest file first, so that the tasks end at about the same time.
    void sortLargestFirst();
    /// The installed configuration for the fast scan; both lists must outlive the context.
    void setInstalledConfiguration(const TFileInPackageVector& files, const TChunkInPackageVector& chunks);

    /// Takes the largest remaining file out of the work list; false when it is empty.
    bool takeNextFile(TWorkItem& item);
    /// Adds Bytes to the scanned bytes and reports the new total.
    void addScannedBytes(quint64 bytes);

    /// In self-update mode files are left as they are: the downloader assembles their new
    /// versions beside them and swaps them in, so that a cut-short update leaves a whole program.
    void setKeepReplacedFilesAsOld(bool keep) { m_keepReplacedFilesAsOld = keep; }
    bool keepReplacedFilesAsOld() const { return m_keepReplacedFilesAsOld; }

    const QDir& directory() const { return m_directory; }
    const TLauncherFilesystemHelper& helper() const { return *m_helper; }
    const TChunkInPackageVector& offeredChunks() const { return *m_offeredChunks; }
    const TFileInPackageVector& installedFiles() const { return *m_installedFiles; }
    const TChunkInPackageVector& installedChunks() const { return *m_installedChunks; }
    /// The resolved path of a file of the package inside the installation directory.
    QString pathOf(const QString& localFile) const;
    /// Waits here while the run is paused; true once it was cancelled, and then no further file
    /// is handed out.
    bool checkpoint() const;
    /// True when Path is the installation directory itself, which no file of a package may name.
    bool isInstallationDirectory(const QString& path) const;
    /// The store that keeps the base chunks of the deltas of this computation, made on first use.
    std::shared_ptr<TDeltaBaseStore> deltaBaseStore();

private:
    std::shared_ptr<const TRunControl> m_runControl;
    TProgressCallback m_progress;
    QDir m_directory;
    QString m_directoryPath;
    std::shared_ptr<TLauncherFilesystemHelper> m_helper;
    const TChunkInPackageVector* m_offeredChunks;
    const TFileInPackageVector* m_installedFiles;
    const TChunkInPackageVector* m_installedChunks;

    QMutex m_mutex;
    std::vector<TWorkItem> m_workList;
    /// The next item of m_workList to hand out.
    std::size_t m_nextItem = 0;
    qint64 m_bytesScanned = 0;
    qint64 m_bytesToScan = 0;
    bool m_keepReplacedFilesAsOld = false;
    std::shared_ptr<TDeltaBaseStore> m_deltaBaseStore;
};

} // namespace orvan::launcher
