#pragma once

#include "EPackageDownloaderError.h"
#include "TChunkToDownload.h"
#include "TChunkedFileState.h"
#include "TFileToDownload.h"
#include "TPendingChunkStore.h"
#include "TTransferRate.h"

#include "configuration/TFileSize.h"

#include <QByteArray>
#include <QDir>
#include <QFuture>
#include <QList>
#include <QNetworkReply>
#include <QObject>
#include <QTimer>
#include <QUrl>

#include <deque>
#include <map>
#include <memory>
#include <optional>
#include <vector>

namespace shared {
class TDownloadPool;
class TFileSystemHelper;
} // namespace shared

namespace orvan::launcher {

class TLauncherFilesystemHelper;
struct TLauncherSettings;

/// Turns a list of files to (re)build into finished files: downloads every needed chunk once
/// through the installation's pool, decompresses it, checks its SHA-256 and writes it at its
/// offsets into every file that uses it, each file front to back. Chunks that arrive early are
/// held in memory (up to maxCachedChunks + 1, within a byte bound) or in temporary files in the
/// installation directory. A file is open only while it is being written. The steps run on the global
/// thread pool; all bookkeeping runs on the thread that owns the downloader, which must run an
/// event loop. A run ends with exactly one of downloadCompleted() or downloadFailed(). The
/// destructor waits for every step still running.
class TPackageFileDownloader : public QObject
{
    Q_OBJECT

public:
    static constexpr int ProgressIntervalMs = 100;
    /// Tries of one chunk: the first download and three retries.
    static constexpr int MaximumRetries = 3;

    TPackageFileDownloader(std::shared_ptr<shared::TDownloadPool> DownloadPool,
                           std::shared_ptr<TLauncherFilesystemHelper> FilesystemHelper);
    ~TPackageFileDownloader() override;

    /// Starts a run that builds Files inside InstallationDirectory. With SelfUpdateMode 1 every
    /// file is assembled beside its path and, once the whole run succeeded, swapped in with the old
    /// version kept under its name followed by ".old" (see TReplacementJournal). Files whose entry is not
    /// consistent (positions outside the chunk list, sizes that don't add up, a path that names
    /// the directory itself) are not touched and make the run fail as a failed download.
    void downloadFiles(QDir InstallationDirectory, int SelfUpdateMode, QList<TFileToDownload> Files);

    const std::shared_ptr<shared::TDownloadPool>& downloadPool() const { return m_downloadPool; }
    const TTransferRate& downloadRate() const { return m_downloadRate; }
    const TTransferRate& writeRate() const { return m_writeRate; }
    /// Held copies currently in memory and in temporary files.
    int inMemoryChunkCount() const { return m_pendingChunks.inMemoryChunkCount(); }
    int temporaryChunkFileCount() const { return m_pendingChunks.temporaryFileCount(); }
    /// Bytes of held copies that may stay in memory (TPendingChunkStore::DefaultMaxHeldBytes).
    void setMaxHeldBytes(quint64 Bytes) { m_pendingChunks.setMaxHeldBytes(Bytes); }

    /// Replaces the file system gateway the steps delete files through (the launcher helper's by
    /// default); lets tests make a deletion fail.
    void setFileSystemHelper(std::shared_ptr<const shared::TFileSystemHelper> FileSystemHelper);

signals:
    /// Every job finished and none failed.
    void downloadCompleted();
    /// Emitted from a worker thread after a chunk was written at one position.
    void writeProgress(QUrl Url, TFileSize DownloadedBytes);
    void progress(TFileSize BytesDownloaded, TFileSize BytesTotalToDownload, TFileSize BytesWritten,
                  TFileSize BytesTotalToWrite);
    void downloadFailed(EPackageDownloaderError ErrorReason);

private slots:
    void onDownloadCompleted(QUrl Url, QByteArray Data);
    void onDownloadFailed(QUrl Url, QNetworkReply::NetworkError Code, QString ErrorString);
    void onDownloadProgress(QUrl Url, TFileSize DownloadedBytes);
    void onWriteProgress(QUrl Url, TFileSize DownloadedBytes);
    void onProgressTick();

private:
    enum class EStep
    {
        Decompress,
        Verify,
        Save
    };

    /// What a run's save steps need besides the job and the data; copied into each step.
    struct TSaveContext
    {
        std::shared_ptr<const TLauncherSettings> settings;
        std::shared_ptr<const shared::TFileSystemHelper> files;
        int selfUpdateMode = 0;
        QString installationDirectory;
    };

    void resetRun(const QDir& InstallationDirectory, int SelfUpdateMode);
    /// Creates the file states and the jobs of Files in download order; false when a file was
    /// refused.
    bool createJobs(const QList<TFileToDownload>& Files);
    std::shared_ptr<TChunkedFileState> createFileState(const TFileToDownload& File) const;
    void sortJobsFrontOfFileFirst();
    void requestAllJobs();

    /// The outstanding job for Url, or null.
    TChunkToDownload* findOutstanding(const QUrl& Url);
    bool removeOutstanding(const QUrl& Url);
    static std::vector<TChunkToDownload>::iterator findByUrl(std::vector<TChunkToDownload>& Jobs, const QUrl& Url);

    void processDownloadedData(const QUrl& Url, const QByteArray& Data, bool Decompressed, bool Verified);
    /// Runs Step on the global thread pool; decodes beyond one per pool thread wait their turn.
    void startStep(EStep Step, const TChunkToDownload& Job, const QByteArray& Data);
    void startWaitingDecompression();
    void onStepFinished(EStep Step, const QUrl& Url, const std::optional<QByteArray>& Result);
    void onSaveFinished(const QUrl& Url, bool Succeeded);
    /// The job failed for good: release, drop and check for the end of the run.
    void giveUp(const QUrl& Url);
    enum class ETryFailure
    {
        Download,
        Verification
    };
    /// Requests the job again, or gives up after the last try.
    void retryOrGiveUp(TChunkToDownload& Job, ETryFailure Failure, const QString& ErrorString);
    void emitFinishedSignalWhenNoMoreFilesAreOutstanding();
    /// While the held copies have reached their byte bound, queued jobs that no file needs next
    /// are taken back from the pool; a job that a file needs next, and every job once the bound
    /// is no longer reached or the run has failed, is asked for again.
    void holdBackOrResumeRequests();
    /// Whether some target file of Job waits for Job's content at its front position.
    static bool isNeededNext(const TChunkToDownload& Job);
    void requestAgain(const QUrl& Url);
    /// Self-update mode: swaps the assembled files in after a successful run, removes them after
    /// a failed one.
    void swapInAssembledFiles();
    /// Files that the run left with positions unwritten although no job is left.
    bool allFilesComplete() const;
    void emitProgress();

    // Steps, run on worker threads with copies of the job and the data; failures throw.
    static QByteArray decompressDownloadedData(const TChunkToDownload& Job, const QByteArray& Data);
    static QByteArray verifyDownloadedData(const TChunkToDownload& Job, const QByteArray& Data);
    void saveDownloadedData(const TChunkToDownload& Job, const QByteArray& Data, const TSaveContext& Context);
    static void prepareTargetFile(TChunkedFileState& File, const TSaveContext& Context);
    static void checkKeptChunks(const TChunkedFileState& File);
    static void prepareReplacement(TChunkedFileState& File);
    static void removeOldFile(const TChunkedFileState& File, const TSaveContext& Context);
    static void openTargetFile(TChunkedFileState& File);
    /// Closes a file that waits for a chunk, so that waiting files hold no descriptors.
    static void closeWhileWaiting(TChunkedFileState& File);
    /// Closes the file; a failed close is a failed write.
    static void closeTargetFile(TChunkedFileState& File);
    /// Writes the file's pending positions from the front as long as their content is at hand;
    /// true when the file is complete.
    bool writeAvailablePositions(TChunkedFileState& File, const TChunkToDownload& Job, const QByteArray& Data,
                                 const TSaveContext& Context);
    void finishFile(TChunkedFileState& File, const TSaveContext& Context) const;

    std::shared_ptr<shared::TDownloadPool> m_downloadPool;
    std::shared_ptr<TLauncherFilesystemHelper> m_filesystemHelper;
    std::shared_ptr<const shared::TFileSystemHelper> m_fileSystemOverride;
    QDir m_installationDirectory;
    bool m_atLeastOneDownloadFailed = false;
    bool m_atLeastOneSavingOperationFailed = false;
    int m_selfUpdateMode = 0;
    std::vector<TChunkToDownload> m_allChunks;
    std::vector<TChunkToDownload> m_outstandingChunks;
    std::vector<TChunkToDownload> m_unwrittenChunks;
    std::vector<std::shared_ptr<TChunkedFileState>> m_files;
    std::map<QUrl, TFileSize> m_downloadedBytes;
    std::map<QUrl, TFileSize> m_writtenBytes;
    QTimer m_progressTimer;
    quint64 m_totalToDownload = 0;
    quint64 m_totalToWrite = 0;
    TTransferRate m_downloadRate;
    TTransferRate m_writeRate;
    TPendingChunkStore m_pendingChunks;
    /// Set while downloadFiles requests the jobs: a job that fails at once must not end the run
    /// before every job has been requested.
    bool m_requestingJobs = false;
    bool m_runActive = false;
    std::vector<QFuture<void>> m_runningSteps;
    int m_runningDecompressions = 0;
    /// Outstanding jobs taken back from the pool while the held copies are at their bound.
    std::vector<QUrl> m_heldBackRequests;
    std::deque<std::pair<TChunkToDownload, QByteArray>> m_waitingDecompressions;
};

} // namespace orvan::launcher
