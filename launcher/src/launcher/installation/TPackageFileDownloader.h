#pragma once

#include "EPackageDownloaderError.h"
#include "TChunkToDownload.h"
#include "TDecodingBudget.h"
#include "TDownloadPlan.h"
#include "TFileToDownload.h"
#include "TMirrorLocations.h"
#include "TPendingChunkStore.h"
#include "TTargetFileWriter.h"
#include "TTimeLeftEstimator.h"
#include "TTransferRate.h"

#include "configuration/TFileSize.h"

#include <QByteArray>
#include <QDir>
#include <QElapsedTimer>
#include <QFuture>
#include <QHash>
#include <QList>
#include <QNetworkReply>
#include <QObject>
#include <QSet>
#include <QTimer>
#include <QUrl>

#include <deque>
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
/// destructor waits for every step still running. TDownloadJobPlanner plans the jobs of a run and
/// TTargetFileWriter writes its files; this object schedules the steps, the tries and the requests.
class TPackageFileDownloader : public QObject
{
    Q_OBJECT

public:
    static constexpr int ProgressIntervalMs = 100;
    /// Tries of one chunk: the first download and three retries.
    static constexpr int MaximumRetries = 3;
    /// Longest stretch the jobs of a run are handed to the pool without a return to the event loop.
    static constexpr qint64 RequestTurnMs = 20;

    TPackageFileDownloader(std::shared_ptr<shared::TDownloadPool> downloadPool,
                           std::shared_ptr<TLauncherFilesystemHelper> filesystemHelper);
    ~TPackageFileDownloader() override;

    /// Starts a run that builds Files inside installationDirectory. With selfUpdateMode 1 every
    /// file is assembled beside its path and, once the whole run succeeded, swapped in with the old
    /// version kept under its name followed by ".old" (see TReplacementJournal). Files whose entry is not
    /// consistent (positions outside the chunk list, sizes that don't add up, a path that names
    /// the directory itself) are not touched and make the run fail as a failed download.
    void downloadFiles(QDir installationDirectory, int selfUpdateMode, QList<TFileToDownload> files);

    const std::shared_ptr<shared::TDownloadPool>& downloadPool() const { return m_downloadPool; }
    const TTransferRate& downloadRate() const { return m_downloadRate; }
    const TTransferRate& writeRate() const { return m_writeRate; }
    /// Held copies currently in memory and in temporary files.
    int inMemoryChunkCount() const { return m_pendingChunks->inMemoryChunkCount(); }
    int temporaryChunkFileCount() const { return m_pendingChunks->temporaryFileCount(); }
    /// Time the last run took from the start of downloadFiles until every job had been handed to
    /// the pool (queued or started); 0 before the first run.
    qint64 queueingNanoseconds() const { return m_queueingNanoseconds; }
    /// Bytes of held copies that may stay in memory (TPendingChunkStore::DefaultMaxHeldBytes).
    void setMaxHeldBytes(quint64 bytes) { m_pendingChunks->setMaxHeldBytes(bytes); }
    quint64 maxHeldBytes() const { return m_pendingChunks->maxHeldBytes(); }

    /// Stops asking for chunks: running requests are dropped (what they received so far is lost,
    /// what was written stays) and queued ones are taken back, to be asked for again on resume().
    /// Chunks already received are still decoded and written. A run may start while paused.
    void pause();
    /// Asks again for every chunk that pause() held back, and goes on with the run.
    void resume();
    bool isPaused() const { return m_paused; }
    /// The estimated seconds until everything is downloaded; nothing while unknown or paused.
    std::optional<qint64> downloadSecondsLeft() const;

    /// Replaces the file system gateway the steps of later runs delete files through (the launcher
    /// helper's by default); lets tests make a deletion fail.
    void setFileSystemHelper(std::shared_ptr<const shared::TFileSystemHelper> fileSystemHelper);
    /// Where the objects of later runs are fetched: a job that failed every try on one location
    /// is tried on the next. One location, the objects' own URLs, by default.
    void setMirrorLocations(TMirrorLocations locations) { m_locations = std::move(locations); }

signals:
    // NOLINTBEGIN(readability-identifier-naming)
    /// Every job finished and none failed.
    void downloadCompleted();
    /// Emitted from a worker thread after a chunk was written at one position.
    void writeProgress(QUrl Url, TFileSize DownloadedBytes);
    void progress(TFileSize BytesDownloaded, TFileSize BytesTotalToDownload, TFileSize BytesWritten,
                  TFileSize BytesTotalToWrite);
    void downloadFailed(EPackageDownloaderError ErrorReason);
    // NOLINTEND(readability-identifier-naming)

private slots:
    void onDownloadCompleted(QUrl url, QByteArray data);
    void onDownloadFailed(QUrl url, QNetworkReply::NetworkError code, QString errorString);
    void onDownloadProgress(QUrl url, TFileSize downloadedBytes);
    void onWriteProgress(QUrl url, TFileSize downloadedBytes);
    void onProgressTick();

private:
    enum class EStep
    {
        Decompress,
        Verify,
        Save
    };

    void resetRun(const QDir& installationDirectory, int selfUpdateMode);
    /// The plan of a run and the look-ups of its jobs, made on the pool.
    struct TPreparedRun
    {
        TDownloadPlan plan;
        QHash<QUrl, std::size_t> outstanding;
        QSet<QUrl> unwritten;
    };
    static std::shared_ptr<TPreparedRun> prepareRun(const QDir& installationDirectory,
                                                    const std::shared_ptr<TLauncherFilesystemHelper>& helper,
                                                    QList<TFileToDownload> files);
    void startRun(TPreparedRun& prepared);
    /// Takes the jobs of Plan and makes the writer of the run; false when a file was refused.
    bool adoptPlan(TDownloadPlan& plan);
    TTargetFileWriter::TContext writeContext() const;
    void countTotals();
    /// Hands the jobs of the run to the pool in download order, a turn of the event loop at a time.
    void requestNextJobs();
    void requestJob(const QUrl& url);

    /// The outstanding job for Url, or null.
    TChunkToDownload* findOutstanding(const QUrl& url);
    bool removeOutstanding(const QUrl& url);
    /// TDownloadPlan::logsEachStep for Url's outstanding job; true when none is outstanding.
    bool logsEachStep(const QUrl& url);

    void processDownloadedData(const QUrl& url, const QByteArray& data, bool decompressed, bool verified);
    /// Runs Step on the global thread pool; decodes beyond one per pool thread wait their turn.
    /// Runs step for job on the global pool, or queues a decode while the decoding budget is spent.
    void startStep(EStep step, const TChunkToDownload& job, const QByteArray& data);
    void launchStep(EStep step, const TChunkToDownload& job, const QByteArray& data);
    bool mayStartDecompression(quint64 decodedBytes) const;
    /// Keeps Future for the destructor to wait on, dropping the steps that have ended.
    void trackStep(const QFuture<void>& future);
    void startWaitingDecompression();
    void onStepFinished(EStep step, const QUrl& url, const std::optional<QByteArray>& result);
    void onDecompressFinished(const QUrl& url, const std::optional<QByteArray>& result);
    void onVerifyFinished(const QUrl& url, const std::optional<QByteArray>& result);
    void onSaveFinished(const QUrl& url, bool succeeded);
    /// The job failed for good: release, drop and check for the end of the run.
    void giveUp(const QUrl& url);
    /// When Url's job fetches a delta, logs why it failed and asks for the whole chunk instead;
    /// false for any other job.
    bool fallBackFromDelta(const QUrl& url, const QString& reason);
    /// Drops a job that failed for good and checks for the end of the run.
    void dropFailedJob(const QUrl& url);
    enum class ETryFailure
    {
        Download,
        Verification
    };
    /// Requests the job again, or gives up after the last try.
    void retryOrGiveUp(TChunkToDownload& job, ETryFailure failure, const QString& errorString);
    /// Logs its check when logged or when the run ends.
    void emitFinishedSignalWhenNoMoreFilesAreOutstanding(bool logged = true);
    void emitOutcome();
    /// While the held copies have reached their byte bound, queued jobs that no file needs next
    /// are taken back from the pool; a job that a file needs next, and every job once the bound
    /// is no longer reached or the run has failed, is asked for again.
    void holdBackOrResumeRequests();
    /// Asks again for the held-back requests that may go now; returns the others.
    std::vector<QUrl> resumeHeldBackRequests(bool holdBack);
    /// Takes the queued requests that no file needs next back from the pool, adding them to heldBack.
    void takeBackQueuedRequests(std::vector<QUrl>& heldBack);
    /// Whether some target file of Job waits for Job's content at its front position.
    static bool isNeededNext(const TChunkToDownload& job);
    void requestAgain(const QUrl& url);
    /// The URL to request the outstanding job at Url from: moved off a location given up since it
    /// was last requested; empty when it has no location left (it is then dropped) or isn't outstanding.
    QUrl locatedRequestUrl(const QUrl& url);
    /// After the job failed on its location (objectFailed: as an object, not one try of it),
    /// requests it from the next location; false when there is none.
    bool tryNextLocation(TChunkToDownload& job, bool objectFailed);
    /// Points Job at Location, keyed by its URL there, with its tries restarting; returns that
    /// URL, or an empty one when another job already has it.
    QUrl moveJob(TChunkToDownload& job, int location);
    /// Requests the queued jobs of a location that was given up from where they can go now.
    void moveQueuedJobsOff(int location);
    /// Hands Url to the pool and remembers it as requested until it is reported or taken back.
    void addToPool(const QUrl& url, quint64 packedSize);
    /// Hands Url to the pool, or keeps it for resume() while paused.
    void requestOrHoldBack(const QUrl& url, quint64 packedSize);
    void emitProgress();
    /// Feeds the time-left estimate and logs it now and then.
    void updateTimeLeft();

    // Steps, run on worker threads with copies of the job and the data; failures throw.
    static std::optional<QByteArray> runStep(EStep step, const TChunkToDownload& job, const QByteArray& data,
                                             const TTargetFileWriter& writer);
    static QByteArray decompressDownloadedData(const TChunkToDownload& job, const QByteArray& data);
    static QByteArray verifyDownloadedData(const TChunkToDownload& job, const QByteArray& data);

    std::shared_ptr<shared::TDownloadPool> m_downloadPool;
    std::shared_ptr<TLauncherFilesystemHelper> m_filesystemHelper;
    std::shared_ptr<const shared::TFileSystemHelper> m_fileSystemOverride;
    QDir m_installationDirectory;
    bool m_atLeastOneDownloadFailed = false;
    bool m_atLeastOneSavingOperationFailed = false;
    int m_selfUpdateMode = 0;
    std::vector<TChunkToDownload> m_allChunks;
    /// The jobs not yet finished, by URL: their index in m_allChunks, which holds their state.
    QHash<QUrl, std::size_t> m_outstandingChunks;
    /// The URLs whose first write has not been reported yet.
    QSet<QUrl> m_unwrittenChunks;
    /// Writes the files of the current run; each step holds the writer of its own run.
    std::shared_ptr<const TTargetFileWriter> m_fileWriter;
    /// Latest received byte count per outstanding URL, and their sum together with the finished ones.
    QHash<QUrl, TFileSize> m_downloadedBytes;
    quint64 m_downloadedTotal = 0;
    /// Bytes of the distinct chunks written so far.
    quint64 m_writtenTotal = 0;
    QTimer m_progressTimer;
    quint64 m_totalToDownload = 0;
    quint64 m_totalToWrite = 0;
    TTransferRate m_downloadRate;
    TTransferRate m_writeRate;
    std::shared_ptr<TPendingChunkStore> m_pendingChunks = std::make_shared<TPendingChunkStore>();
    /// Set while downloadFiles requests the jobs: a job that fails at once must not end the run
    /// before every job has been requested.
    bool m_requestingJobs = false;
    std::size_t m_nextJobToRequest = 0;
    /// Tells the turns of one run from those of an earlier one.
    quint64 m_runNumber = 0;
    QElapsedTimer m_queueingTimer;
    bool m_runActive = false;
    qint64 m_queueingNanoseconds = 0;
    std::vector<QFuture<void>> m_runningSteps;
    TDecodingBudget m_decodingBudget;
    /// Outstanding jobs taken back from the pool while the held copies are at their bound.
    std::vector<QUrl> m_heldBackRequests;
    std::deque<std::pair<TChunkToDownload, QByteArray>> m_waitingDecompressions;
    TMirrorLocations m_locations;
    /// The outstanding jobs queued in or running on the pool, not yet reported.
    QSet<QUrl> m_requestedChunks;
    bool m_paused = false;
    TTimeLeftEstimator m_timeLeft;
    /// Runs from the start of a run; times the samples of the estimate and its log lines.
    QElapsedTimer m_runClock;
    qint64 m_nextTimeLeftLogMs = 0;
};

} // namespace orvan::launcher
