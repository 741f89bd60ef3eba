#include "TPackageFileDownloader.h"

#include "InstallationMetaTypes.h"
#include "LargeBufferAllocation.h"
#include "TChunkWriteLog.h"
#include "TReplacementJournal.h"

#include "compression/TContainerDecoder.h"
#include "filesystemhelper/TFileIoError.h"
#include "filesystemhelper/TFileSystemHelper.h"
#include "filesystemhelper/TLinkFreePath.h"
#include "hash/TSha256.h"
#include "network/TDownloadPool.h"
#include "settings/TLauncherFilesystemHelper.h"
#include "settings/TLauncherSettings.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFutureWatcher>
#include <QHash>
#include <QSet>
#include <QThread>
#include <QtConcurrent>

#include <algorithm>
#include <exception>
#include <limits>
#include <stdexcept>

namespace orvan::launcher {

using shared::TFileIoError;

namespace {

quint64 sumOf(const std::map<QUrl, TFileSize>& Bytes)
{
    quint64 total = 0;
    for (const auto& entry : Bytes)
        total += entry.second;
    return total;
}

const char* stepName(int Step)
{
    static const char* const names[] = {"decompress", "verify", "save"};
    return names[Step];
}

/// Why a file entry can't be built, or an empty text when it is consistent.
QString inconsistencyOf(const TFileToDownload& File, const QString& Path, const QDir& Directory)
{
    if (QDir::cleanPath(Path) == QDir::cleanPath(Directory.absolutePath()))
        return QStringLiteral("its path names the installation directory");
    quint64 total = 0;
    for (const TChunkInPackage& chunk : File.chunks) {
        if (chunk.unpackedSize > std::numeric_limits<quint64>::max() - total)
            return QStringLiteral("its chunk sizes overflow");
        total += chunk.unpackedSize;
    }
    if (total != File.unpackedSize)
        return QStringLiteral("its chunk sizes don't add up to the file size");
    qint32 previous = -1;
    for (const qint32 position : File.chunksToDownload) {
        if (position <= previous || static_cast<std::size_t>(position) >= File.chunks.size())
            return QStringLiteral("its positions to download don't fit its chunk list");
        previous = position;
    }
    return QString();
}

/// The end of the last chunk that the file keeps from its old copy.
quint64 endOfKeptChunks(const TChunkedFileState& File)
{
    const QSet<int> pending(File.pendingPositions.begin(), File.pendingPositions.end());
    quint64 end = 0;
    for (std::size_t position = 0; position < File.chunks.size(); ++position) {
        if (!pending.contains(static_cast<int>(position)))
            end = File.offsets[position] + File.chunks[position].unpackedSize;
    }
    return end;
}

void removeFileOrDirectory(const QString& Path)
{
    const QFileInfo info(Path);
    if (info.isDir() && !info.isSymLink())
        QDir(Path).removeRecursively();
    else
        QFile::remove(Path);
}

/// Reads back the positions in front of Position that lie beyond what this write session has
/// checked and compares them with their hashes (debug setting chunkVerification).
void checkEarlierPositions(TChunkedFileState& File, int Position, TChunkWriteLog& WriteLog)
{
    quint64 checked = static_cast<quint64>(File.targetFile.pos());
    for (int earlier = 0; earlier < Position; ++earlier) {
        const TChunkInPackage& chunk = File.chunks[static_cast<std::size_t>(earlier)];
        const quint64 offset = File.offsets[static_cast<std::size_t>(earlier)];
        if (offset + chunk.unpackedSize <= checked)
            continue;
        File.targetFile.seek(static_cast<qint64>(offset));
        const QByteArray data = File.targetFile.read(static_cast<qint64>(chunk.unpackedSize));
        if (static_cast<quint64>(data.size()) != chunk.unpackedSize)
            throw TFileIoError(File.path, QStringLiteral("invalid old chunk"));
        if (shared::TSha256::hash(data) != chunk.unpackedHash) {
            WriteLog.line(offset, ": check failed");
            throw TFileIoError(File.path, QStringLiteral("invalid hash"));
        }
        WriteLog.line(offset, ": check succeeded");
        checked = offset + chunk.unpackedSize;
    }
}

} // namespace

TPackageFileDownloader::TPackageFileDownloader(std::shared_ptr<shared::TDownloadPool> DownloadPool,
                                               std::shared_ptr<TLauncherFilesystemHelper> FilesystemHelper)
    : m_downloadPool(std::move(DownloadPool)), m_filesystemHelper(std::move(FilesystemHelper))
{
    registerInstallationMetaTypes();
    keepLargeBuffersForReuse();
    m_progressTimer.setInterval(ProgressIntervalMs);
    connect(m_downloadPool.get(), &shared::TDownloadPool::success, this, &TPackageFileDownloader::onDownloadCompleted);
    connect(m_downloadPool.get(), &shared::TDownloadPool::failed, this, &TPackageFileDownloader::onDownloadFailed);
    connect(m_downloadPool.get(), &shared::TDownloadPool::progress, this, [this](const QUrl& Url, qint64 Bytes) {
        onDownloadProgress(Url, Bytes > 0 ? static_cast<TFileSize>(Bytes) : 0);
    });
    connect(this, &TPackageFileDownloader::writeProgress, this, &TPackageFileDownloader::onWriteProgress,
            Qt::QueuedConnection);
    connect(&m_progressTimer, &QTimer::timeout, this, &TPackageFileDownloader::onProgressTick);
}

TPackageFileDownloader::~TPackageFileDownloader()
{
    // The steps use the file states, the held copies and this object's signals until they end.
    m_progressTimer.stop();
    for (QFuture<void>& step : m_runningSteps)
        step.waitForFinished();
}

void TPackageFileDownloader::setFileSystemHelper(std::shared_ptr<const shared::TFileSystemHelper> FileSystemHelper)
{
    m_fileSystemOverride = std::move(FileSystemHelper);
}

void TPackageFileDownloader::downloadFiles(QDir InstallationDirectory, int SelfUpdateMode, QList<TFileToDownload> Files)
{
    resetRun(InstallationDirectory, SelfUpdateMode);
    if (!createJobs(Files))
        m_atLeastOneDownloadFailed = true;
    sortJobsFrontOfFileFirst();
    qInfo() << "start download of " << m_allChunks.size() << " files Thread: " << QThread::currentThreadId();

    m_outstandingChunks = m_allChunks;
    std::sort(m_outstandingChunks.begin(), m_outstandingChunks.end(),
              [](const TChunkToDownload& Left, const TChunkToDownload& Right) { return Left.urlText < Right.urlText; });
    m_unwrittenChunks = m_outstandingChunks;
    m_totalToDownload = 0;
    m_totalToWrite = 0;
    for (const TChunkToDownload& job : m_allChunks) {
        m_totalToDownload += job.chunk.packedSize;
        m_totalToWrite += job.chunk.unpackedSize;
    }
    m_runActive = true;
    m_progressTimer.start();
    requestAllJobs();
    if (m_outstandingChunks.empty()) {
        // The caller learns the outcome from the event loop, never from inside this call.
        QMetaObject::invokeMethod(
            this, [this] { emitFinishedSignalWhenNoMoreFilesAreOutstanding(); }, Qt::QueuedConnection);
    }
}

void TPackageFileDownloader::resetRun(const QDir& InstallationDirectory, int SelfUpdateMode)
{
    m_installationDirectory = InstallationDirectory;
    m_selfUpdateMode = SelfUpdateMode;
    m_pendingChunks.clear();
    m_pendingChunks.setTemporaryDirectory(InstallationDirectory.absolutePath());
    m_atLeastOneDownloadFailed = false;
    m_atLeastOneSavingOperationFailed = false;
    m_allChunks.clear();
    m_heldBackRequests.clear();
    m_waitingDecompressions.clear();
    m_files.clear();
    m_downloadedBytes.clear();
    m_writtenBytes.clear();
    m_downloadRate.resetTotals();
    m_writeRate.resetTotals();
}

std::shared_ptr<TChunkedFileState> TPackageFileDownloader::createFileState(const TFileToDownload& File) const
{
    const QString path =
        m_filesystemHelper->fileSystemHelper().resolvePathInsideDirectory(m_installationDirectory, File.localFile);
    const QString problem = inconsistencyOf(File, path, m_installationDirectory);
    if (!problem.isEmpty()) {
        qWarning() << "file" << File.localFile << "can't be built:" << problem;
        return nullptr;
    }
    return std::make_shared<TChunkedFileState>(File, path);
}

bool TPackageFileDownloader::createJobs(const QList<TFileToDownload>& Files)
{
    bool allAccepted = true;
    QHash<QUrl, std::size_t> jobByUrl;
    QHash<QString, std::shared_ptr<TChunkedFileState>> fileByPath;
    for (const TFileToDownload& file : Files) {
        const std::shared_ptr<TChunkedFileState> state = createFileState(file);
        if (!state) {
            allAccepted = false;
            continue;
        }
        // Two builders of one path would write it at the same time.
        if (const auto same = fileByPath.constFind(state->path); same != fileByPath.constEnd()) {
            const bool identical =
                same.value()->unpackedHash == state->unpackedHash && same.value()->unpackedSize == state->unpackedSize;
            if (!identical) {
                qWarning() << "file" << file.localFile << "can't be built: another file of the run has its path";
                allAccepted = false;
            }
            continue;
        }
        fileByPath.insert(state->path, state);
        m_files.push_back(state);
        QSet<QByteArray> hashesListed;
        for (const qint32 position : file.chunksToDownload) {
            const TChunkInPackage& chunk = file.chunks[static_cast<std::size_t>(position)];
            m_pendingChunks.addUse(chunk.unpackedHash);
            if (hashesListed.contains(chunk.unpackedHash))
                continue;
            hashesListed.insert(chunk.unpackedHash);
            const auto found = jobByUrl.constFind(chunk.url);
            if (found != jobByUrl.constEnd()) {
                m_allChunks[found.value()].targetFiles.push_back(state);
                continue;
            }
            jobByUrl.insert(chunk.url, m_allChunks.size());
            m_allChunks.push_back(TChunkToDownload{chunk, {state}, 0, chunk.url.toString()});
        }
    }
    return allAccepted;
}

void TPackageFileDownloader::sortJobsFrontOfFileFirst()
{
    std::vector<std::pair<quint64, std::size_t>> keys;
    keys.reserve(m_allChunks.size());
    for (std::size_t index = 0; index < m_allChunks.size(); ++index) {
        const TChunkToDownload& job = m_allChunks[index];
        quint64 lowest = std::numeric_limits<quint64>::max();
        for (const auto& file : job.targetFiles) {
            for (std::size_t position = 0; position < file->chunks.size(); ++position) {
                if (file->chunks[position].unpackedHash == job.chunk.unpackedHash) {
                    lowest = std::min(lowest, file->offsets[position]);
                    break;
                }
            }
        }
        keys.emplace_back(lowest, index);
    }
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& Left, const auto& Right) { return Left.first < Right.first; });
    std::vector<TChunkToDownload> sorted;
    sorted.reserve(m_allChunks.size());
    for (const auto& key : keys)
        sorted.push_back(std::move(m_allChunks[key.second]));
    m_allChunks = std::move(sorted);
}

void TPackageFileDownloader::requestAllJobs()
{
    m_requestingJobs = true;
    // Copies of the URLs: a request refused at once already changes the outstanding jobs.
    std::vector<QUrl> urls;
    urls.reserve(m_allChunks.size());
    for (const TChunkToDownload& job : m_allChunks)
        urls.push_back(job.chunk.url);
    for (const QUrl& url : urls) {
        qInfo() << "start download of " << url << " Thread: " << QThread::currentThreadId();
        if (const TChunkToDownload* job = findOutstanding(url))
            m_downloadPool->addRequest(url, shared::TDownloadPool::maxResponseBytesFor(job->chunk.packedSize));
    }
    m_requestingJobs = false;
}

std::vector<TChunkToDownload>::iterator TPackageFileDownloader::findByUrl(std::vector<TChunkToDownload>& Jobs,
                                                                          const QUrl& Url)
{
    const QString text = Url.toString();
    auto candidate =
        std::lower_bound(Jobs.begin(), Jobs.end(), text,
                         [](const TChunkToDownload& Job, const QString& Text) { return Job.urlText < Text; });
    for (; candidate != Jobs.end() && candidate->urlText == text; ++candidate) {
        if (candidate->chunk.url == Url)
            return candidate;
    }
    return Jobs.end();
}

TChunkToDownload* TPackageFileDownloader::findOutstanding(const QUrl& Url)
{
    const auto found = findByUrl(m_outstandingChunks, Url);
    return found == m_outstandingChunks.end() ? nullptr : &*found;
}

bool TPackageFileDownloader::removeOutstanding(const QUrl& Url)
{
    const auto found = findByUrl(m_outstandingChunks, Url);
    if (found == m_outstandingChunks.end())
        return false;
    m_outstandingChunks.erase(found);
    return true;
}

void TPackageFileDownloader::onDownloadCompleted(QUrl Url, QByteArray Data)
{
    qInfo() << "onDownloadCompleted " << Url << " Thread: " << QThread::currentThreadId();
    processDownloadedData(Url, Data, false, false);
}

void TPackageFileDownloader::processDownloadedData(const QUrl& Url, const QByteArray& Data, bool Decompressed,
                                                   bool Verified)
{
    const TChunkToDownload* job = findOutstanding(Url);
    if (!job) {
        m_downloadPool->releaseRequest(Url);
        return;
    }
    EStep step = EStep::Decompress;
    if (Verified && Decompressed)
        step = EStep::Save;
    else if (!Verified && (Decompressed || !job->chunk.unpack))
        step = EStep::Verify;
    static const char* const texts[] = {"processDownloadedData decompress ", "processDownloadedData verify ",
                                        "processDownloadedData save "};
    qInfo() << texts[static_cast<int>(step)] << Url << " Thread: " << QThread::currentThreadId();
    startStep(step, *job, Data);
}

void TPackageFileDownloader::startStep(EStep Step, const TChunkToDownload& Job, const QByteArray& Data)
{
    if (Step == EStep::Decompress && m_runningDecompressions >= QThreadPool::globalInstance()->maxThreadCount()) {
        // Decoding takes long: queued in the pool, later decodes would delay the quick verify and
        // save steps of decoded chunks, which hold download slots until they are written.
        m_waitingDecompressions.emplace_back(Job, Data);
        return;
    }
    if (Step == EStep::Decompress)
        ++m_runningDecompressions;
    using TResult = std::optional<QByteArray>;
    const QUrl url = Job.chunk.url;
    auto* watcher = new QFutureWatcher<TResult>(this);
    connect(watcher, &QFutureWatcher<TResult>::finished, this, [this, watcher, Step, url] {
        const TResult result = watcher->future().resultCount() > 0 ? watcher->result() : TResult();
        watcher->deleteLater();
        onStepFinished(Step, url, result);
    });
    const TSaveContext context{m_filesystemHelper->settings(),
                               m_fileSystemOverride ? m_fileSystemOverride
                                                    : std::shared_ptr<const shared::TFileSystemHelper>(
                                                          m_filesystemHelper, &m_filesystemHelper->fileSystemHelper()),
                               m_selfUpdateMode, m_installationDirectory.absolutePath()};
    const QFuture<TResult> future = QtConcurrent::run([this, Step, Job, Data, context]() -> TResult {
        try {
            switch (Step) {
            case EStep::Decompress:
                return decompressDownloadedData(Job, Data);
            case EStep::Verify:
                return verifyDownloadedData(Job, Data);
            case EStep::Save:
                saveDownloadedData(Job, Data, context);
                return QByteArray();
            }
        } catch (const std::exception& error) {
            qWarning() << "processDownloadedData" << stepName(static_cast<int>(Step)) << Job.chunk.url
                       << "failed:" << error.what();
        } catch (...) {
            qWarning() << "processDownloadedData" << stepName(static_cast<int>(Step)) << Job.chunk.url << "failed";
        }
        return TResult();
    });
    m_runningSteps.erase(std::remove_if(m_runningSteps.begin(), m_runningSteps.end(),
                                        [](const QFuture<void>& Running) { return Running.isFinished(); }),
                         m_runningSteps.end());
    m_runningSteps.emplace_back(future);
    watcher->setFuture(future);
}

void TPackageFileDownloader::onStepFinished(EStep Step, const QUrl& Url, const std::optional<QByteArray>& Result)
{
    const Qt::HANDLE thread = QThread::currentThreadId();
    switch (Step) {
    case EStep::Decompress:
        qInfo() << "processDownloadedData decompress finished " << Url << " Thread: " << thread;
        --m_runningDecompressions;
        if (Result) {
            processDownloadedData(Url, *Result, true, false);
        } else {
            qWarning() << "Failed to decompress file downloaded from" << Url;
            giveUp(Url);
        }
        startWaitingDecompression();
        return;
    case EStep::Verify:
        qInfo() << "processDownloadedData verify finished " << Url << " Thread: " << thread;
        if (Result) {
            processDownloadedData(Url, *Result, true, true);
            return;
        }
        qWarning() << "Failed to verify file downloaded from" << Url;
        m_downloadPool->releaseRequest(Url);
        if (TChunkToDownload* job = findOutstanding(Url))
            retryOrGiveUp(*job, ETryFailure::Verification, QString());
        return;
    case EStep::Save:
        qInfo() << "processDownloadedData save completed " << Url << " Thread: " << thread;
        onSaveFinished(Url, Result.has_value());
        return;
    }
}

void TPackageFileDownloader::startWaitingDecompression()
{
    if (m_waitingDecompressions.empty())
        return;
    const std::pair<TChunkToDownload, QByteArray> next = std::move(m_waitingDecompressions.front());
    m_waitingDecompressions.pop_front();
    startStep(EStep::Decompress, next.first, next.second);
}

void TPackageFileDownloader::onSaveFinished(const QUrl& Url, bool Succeeded)
{
    const Qt::HANDLE thread = QThread::currentThreadId();
    if (!Succeeded) {
        qWarning() << "Failed to save file downloaded from" << Url << " Thread: " << thread;
        giveUp(Url);
        return;
    }
    qInfo() << "processFinishedData: " << Url << thread;
    // Before the slot frees: releasing it starts the next queued request.
    holdBackOrResumeRequests();
    m_downloadPool->releaseRequest(Url);
    if (!findOutstanding(Url))
        return;
    qInfo() << "processFinishedData found: " << Url << thread;
    removeOutstanding(Url);
    emitFinishedSignalWhenNoMoreFilesAreOutstanding();
}

void TPackageFileDownloader::holdBackOrResumeRequests()
{
    const bool holdBack = m_pendingChunks.isByteBoundReached() && !m_atLeastOneDownloadFailed;
    if (m_heldBackRequests.empty() && !holdBack)
        return;
    // Files only move forward when their front positions arrive: those are never held back.
    std::vector<QUrl> stillHeldBack;
    const std::vector<QUrl> heldBack = std::move(m_heldBackRequests);
    m_heldBackRequests.clear();
    for (const QUrl& url : heldBack) {
        const TChunkToDownload* job = findOutstanding(url);
        if (!job)
            continue;
        if (holdBack && !isNeededNext(*job))
            stillHeldBack.push_back(url);
        else
            requestAgain(url);
    }
    if (holdBack) {
        for (const TChunkToDownload& job : m_outstandingChunks) {
            if (m_downloadPool->isQueued(job.chunk.url) && !isNeededNext(job)) {
                m_downloadPool->cancelRequest(job.chunk.url);
                stillHeldBack.push_back(job.chunk.url);
            }
        }
    }
    m_heldBackRequests.insert(m_heldBackRequests.end(), stillHeldBack.begin(), stillHeldBack.end());
}

bool TPackageFileDownloader::isNeededNext(const TChunkToDownload& Job)
{
    return std::any_of(Job.targetFiles.begin(), Job.targetFiles.end(), [&Job](const auto& File) {
        const QMutexLocker lock(&File->mutex);
        return !File->pendingPositions.isEmpty() &&
               File->chunks[static_cast<std::size_t>(File->pendingPositions.front())].unpackedHash ==
                   Job.chunk.unpackedHash;
    });
}

void TPackageFileDownloader::requestAgain(const QUrl& Url)
{
    if (const TChunkToDownload* job = findOutstanding(Url))
        m_downloadPool->addRequest(Url, shared::TDownloadPool::maxResponseBytesFor(job->chunk.packedSize));
}

void TPackageFileDownloader::giveUp(const QUrl& Url)
{
    m_downloadPool->releaseRequest(Url);
    removeOutstanding(Url);
    m_atLeastOneDownloadFailed = true;
    holdBackOrResumeRequests();
    emitFinishedSignalWhenNoMoreFilesAreOutstanding();
}

void TPackageFileDownloader::retryOrGiveUp(TChunkToDownload& Job, ETryFailure Failure, const QString& ErrorString)
{
    const QUrl url = Job.chunk.url;
    if (Job.retryCount >= MaximumRetries) {
        if (Failure == ETryFailure::Verification)
            qCritical() << "Verify of " << url << "failed.";
        else
            qCritical() << "Download of " << url << "failed:" << ErrorString;
        removeOutstanding(url);
        m_atLeastOneDownloadFailed = true;
        holdBackOrResumeRequests();
        emitFinishedSignalWhenNoMoreFilesAreOutstanding();
        return;
    }
    qInfo() << "Retry " << url << " Thread: " << QThread::currentThreadId();
    ++Job.retryCount;
    // The request may fail at once and change the outstanding jobs: Job is not used after this.
    m_downloadPool->addRequest(url, shared::TDownloadPool::maxResponseBytesFor(Job.chunk.packedSize));
}

void TPackageFileDownloader::onDownloadFailed(QUrl Url, QNetworkReply::NetworkError, QString ErrorString)
{
    qInfo() << "onDownloadFailed " << Url << " Thread: " << QThread::currentThreadId();
    m_downloadPool->releaseRequest(Url);
    if (TChunkToDownload* job = findOutstanding(Url))
        retryOrGiveUp(*job, ETryFailure::Download, ErrorString);
}

void TPackageFileDownloader::emitFinishedSignalWhenNoMoreFilesAreOutstanding()
{
    qInfo() << "emitFinishedSignalWhenNoMoreFilesAreOutstanding ActiveDownloads: "
            << m_downloadPool->runningRequestCount() << " FilesInProgress: " << m_outstandingChunks.size()
            << " AtLeastOneDownloadFailed " << m_atLeastOneDownloadFailed << " AtLeastOneSavingOperationFailed "
            << m_atLeastOneSavingOperationFailed << " Thread: " << QThread::currentThreadId();
    if (!m_outstandingChunks.empty() || m_requestingJobs || !m_runActive)
        return;
    m_runActive = false;
    if (!allFilesComplete())
        m_atLeastOneDownloadFailed = true;
    if (m_selfUpdateMode == 1)
        swapInAssembledFiles();
    m_pendingChunks.clear();
    m_downloadRate.reset();
    m_writeRate.reset();
    m_progressTimer.stop();
    emitProgress();
    if (m_atLeastOneDownloadFailed)
        emit downloadFailed(EPackageDownloaderError::DownloadFailed);
    else if (m_atLeastOneSavingOperationFailed)
        emit downloadFailed(EPackageDownloaderError::SavingFailed);
    else
        emit downloadCompleted();
}

void TPackageFileDownloader::swapInAssembledFiles()
{
    QStringList assembled;
    QStringList all;
    for (const auto& file : m_files) {
        all << file->path;
        if (file->writePath != file->path)
            assembled << file->path;
    }
    if (m_atLeastOneDownloadFailed) {
        TReplacementJournal::discard(all);
        return;
    }
    if (assembled.isEmpty())
        return;
    try {
        TReplacementJournal(m_installationDirectory).commit(assembled);
    } catch (const std::runtime_error& error) {
        qWarning() << "replacing the files of the run failed:" << error.what();
        TReplacementJournal::discard(all);
        m_atLeastOneDownloadFailed = true;
    }
}

bool TPackageFileDownloader::allFilesComplete() const
{
    bool complete = true;
    for (const auto& file : m_files) {
        const QMutexLocker lock(&file->mutex);
        // A failed run leaves files open; nothing writes to them any more.
        if (file->targetFile.isOpen())
            file->targetFile.close();
        if (!file->pendingPositions.isEmpty()) {
            qWarning() << "file" << file->path << "was left with" << file->pendingPositions.size()
                       << "chunks unwritten";
            complete = false;
        }
    }
    return complete;
}

void TPackageFileDownloader::onDownloadProgress(QUrl Url, TFileSize DownloadedBytes)
{
    if (findOutstanding(Url))
        m_downloadedBytes[Url] = DownloadedBytes;
}

void TPackageFileDownloader::onWriteProgress(QUrl Url, TFileSize DownloadedBytes)
{
    const auto found = findByUrl(m_unwrittenChunks, Url);
    if (found == m_unwrittenChunks.end())
        return;
    m_writtenBytes[Url] = DownloadedBytes;
    m_unwrittenChunks.erase(found);
}

void TPackageFileDownloader::onProgressTick()
{
    m_downloadRate.addTotal(sumOf(m_downloadedBytes));
    m_writeRate.addTotal(sumOf(m_writtenBytes));
    emitProgress();
}

void TPackageFileDownloader::emitProgress()
{
    emit progress(sumOf(m_downloadedBytes), m_totalToDownload, sumOf(m_writtenBytes), m_totalToWrite);
}

QByteArray TPackageFileDownloader::decompressDownloadedData(const TChunkToDownload& Job, const QByteArray& Data)
{
    qDebug() << "decompressDownloadedData " << Job.chunk.url << "started";
    QElapsedTimer timer;
    timer.start();
    // Only the chunk's own size can pass the hash check, so no container may unpack to more.
    const auto capacity = static_cast<qint64>(
        std::min<quint64>(Job.chunk.unpackedSize, static_cast<quint64>(std::numeric_limits<qint64>::max())));
    QByteArray decoded = shared::decompressContainer(Data, capacity);
    qDebug() << "decompressDownloadedData " << Job.chunk.url << "finished";
    return decoded;
}

QByteArray TPackageFileDownloader::verifyDownloadedData(const TChunkToDownload& Job, const QByteArray& Data)
{
    qDebug() << "verifyDownloadedData " << Job.chunk.url << "started";
    if (shared::TSha256::hash(Data) != Job.chunk.unpackedHash) {
        qInfo() << "saveDownloadedData failed: invalid hash";
        throw std::runtime_error(
            QStringLiteral("verify of url '%1' failed").arg(Job.chunk.url.toString()).toStdString());
    }
    qDebug() << "verifyDownloadedData " << Job.chunk.url << "finished";
    return Data;
}

void TPackageFileDownloader::saveDownloadedData(const TChunkToDownload& Job, const QByteArray& Data,
                                                const TSaveContext& Context)
{
    qInfo() << "saveDownloadedData chunk " << Job.chunk.url << " Thread: " << QThread::currentThreadId();
    bool heldCopyStored = false;
    for (const auto& file : Job.targetFiles) {
        const QMutexLocker lock(&file->mutex);
        if (!file->started) {
            file->started = true;
            prepareTargetFile(*file, Context);
        }
        if (writeAvailablePositions(*file, Job, Data, Context))
            continue;
        closeWhileWaiting(*file);
        qInfo() << "saveDownloadedData chunk " << Job.chunk.url << " not found for " << file->path
                << ". => Wait for chunk"
                << " Thread: " << QThread::currentThreadId();
        if (heldCopyStored)
            continue;
        const bool needed =
            std::any_of(file->pendingPositions.begin(), file->pendingPositions.end(), [&](int Position) {
                return file->chunks[static_cast<std::size_t>(Position)].unpackedHash == Job.chunk.unpackedHash;
            });
        if (needed) {
            m_pendingChunks.storeHeldCopy(Job.chunk.unpackedHash, Data, Context.settings->maxCachedChunks);
            heldCopyStored = true;
        }
    }
}

void TPackageFileDownloader::prepareTargetFile(TChunkedFileState& File, const TSaveContext& Context)
{
    // Folders inside the installation are made real before anything is written below them: a
    // link there would carry the writes to wherever it points.
    shared::TLinkFreePath::prepareParentFolders(Context.installationDirectory, File.path);
    if (Context.selfUpdateMode == 1) {
        prepareReplacement(File);
        return;
    }
    if (File.isRewrittenWhole())
        removeOldFile(File, Context);
    else
        checkKeptChunks(File);
}

void TPackageFileDownloader::checkKeptChunks(const TChunkedFileState& File)
{
    // The kept chunks are only where the scan left them if the file is still there.
    const QFileInfo existing(File.path);
    if (existing.isSymLink())
        throw TFileIoError(File.path, QStringLiteral("file to update is a symbolic link"));
    if (!existing.isFile() || static_cast<quint64>(existing.size()) < endOfKeptChunks(File))
        throw TFileIoError(File.path, QStringLiteral("file to update is missing or shorter than its kept chunks"));
}

void TPackageFileDownloader::prepareReplacement(TChunkedFileState& File)
{
    // The new version is assembled beside the file and swapped in when the whole run succeeded,
    // so the path keeps a complete version, and a running program its own file, whatever happens.
    const QString assembled = TReplacementJournal::temporaryPathOf(File.path);
    removeFileOrDirectory(assembled);
    if (!File.isRewrittenWhole()) {
        checkKeptChunks(File);
        if (!QFile::copy(File.path, assembled))
            throw TFileIoError(File.path, QStringLiteral("couldn't copy the kept chunks"));
    }
    File.writePath = assembled;
    File.targetFile.setFileName(assembled);
}

void TPackageFileDownloader::removeOldFile(const TChunkedFileState& File, const TSaveContext& Context)
{
    const QFileInfo existing(File.path);
    if (existing.isDir() && !existing.isSymLink()) {
        QDir(File.path).removeRecursively();
        return;
    }
    if (!existing.exists() && !existing.isSymLink())
        return;
    // A link is removed as a link; what it points to stays untouched.
    Context.files->deleteFile(File.path);
}

void TPackageFileDownloader::openTargetFile(TChunkedFileState& File)
{
    if (!File.targetFile.open(QIODevice::ReadWrite | QIODevice::Unbuffered) || !File.targetFile.seek(File.resumeOffset))
        throw TFileIoError(File.path, QStringLiteral("couldn't open target file"));
}

void TPackageFileDownloader::closeWhileWaiting(TChunkedFileState& File)
{
    if (!File.targetFile.isOpen())
        return;
    File.resumeOffset = File.targetFile.pos();
    closeTargetFile(File);
}

void TPackageFileDownloader::closeTargetFile(TChunkedFileState& File)
{
    File.targetFile.unsetError();
    File.targetFile.close();
    if (File.targetFile.error() != QFileDevice::NoError)
        throw TFileIoError(File.path, QStringLiteral("couldn't write chunk file"));
}

bool TPackageFileDownloader::writeAvailablePositions(TChunkedFileState& File, const TChunkToDownload& Job,
                                                     const QByteArray& Data, const TSaveContext& Context)
{
    const bool chunkVerification = Context.settings->chunkVerification;
    while (!File.pendingPositions.isEmpty()) {
        const int position = File.pendingPositions.front();
        const TChunkInPackage& chunk = File.chunks[static_cast<std::size_t>(position)];
        const quint64 offset = File.offsets[static_cast<std::size_t>(position)];

        QByteArray content;
        TPendingChunkStore::ESource source = TPendingChunkStore::ESource::Missing;
        const bool fresh = chunk.unpackedHash == Job.chunk.unpackedHash;
        if (fresh)
            content = Data;
        else if ((source = m_pendingChunks.takeForWrite(chunk.unpackedHash, chunk.unpackedSize, content)) ==
                 TPendingChunkStore::ESource::Missing)
            return false;

        if (!File.targetFile.isOpen())
            openTargetFile(File);
        std::unique_ptr<TChunkWriteLog> writeLog;
        if (chunkVerification) {
            writeLog = std::make_unique<TChunkWriteLog>(File.path, !File.writeLogStarted);
            File.writeLogStarted = true;
            checkEarlierPositions(File, position, *writeLog);
        }

        const bool matches = !chunkVerification || shared::TSha256::hash(content) == chunk.unpackedHash;
        const Qt::HANDLE thread = QThread::currentThreadId();
        const QString target = File.targetFile.fileName();
        if (fresh) {
            if (writeLog)
                writeLog->line(offset, matches ? ": write succeeded" : ": write failed");
            qInfo() << "saveDownloadedData chunk " << chunk.url << " to " << target << " offset: " << offset
                    << " Thread: " << thread;
        } else if (source == TPendingChunkStore::ESource::Memory) {
            if (writeLog)
                writeLog->line(offset, matches ? ": write cache correct" : ": write cache invalid");
            qInfo() << "saveDownloadedData chunk " << chunk.url << " from cache to " << target << " offset: " << offset
                    << " Thread: " << thread;
        } else {
            if (writeLog && !matches) {
                writeLog->line(offset, ": write tmp file invalid");
                throw TFileIoError(File.path, QStringLiteral("invalid hash"));
            }
            if (writeLog)
                writeLog->line(offset, ": write tmp file correct");
            qInfo() << "saveDownloadedData chunk " << chunk.url << " from temp file to " << target
                    << " offset: " << offset << " Thread: " << thread;
        }
        if (static_cast<quint64>(content.size()) != chunk.unpackedSize ||
            !File.targetFile.seek(static_cast<qint64>(offset)) ||
            static_cast<quint64>(File.targetFile.write(content)) != chunk.unpackedSize)
            throw TFileIoError(File.path, QStringLiteral("couldn't write chunk file"));

        m_pendingChunks.releaseUse(chunk.unpackedHash);
        emit writeProgress(chunk.url, chunk.unpackedSize);
        File.pendingPositions.removeFirst();
        if (File.pendingPositions.isEmpty())
            finishFile(File, Context);
    }
    return true;
}

void TPackageFileDownloader::finishFile(TChunkedFileState& File, const TSaveContext& Context) const
{
    // Whatever lay beyond the new end belongs to no chunk of the file.
    if (static_cast<quint64>(File.targetFile.size()) > File.unpackedSize &&
        !File.targetFile.resize(static_cast<qint64>(File.unpackedSize)))
        throw TFileIoError(File.path, QStringLiteral("couldn't write chunk file"));
    if (File.executable && !File.targetFile.setPermissions(File.targetFile.permissions() | QFileDevice::ExeOwner |
                                                           QFileDevice::ExeGroup | QFileDevice::ExeOther))
        qWarning() << "couldn't make" << File.path << "executable";
    // A replacement must be on the disk before it is renamed over the file it replaces.
    if (Context.selfUpdateMode == 1 && !TReplacementJournal::flushToDisk(File.targetFile.handle()))
        throw TFileIoError(File.path, QStringLiteral("couldn't write chunk file"));
    closeTargetFile(File);
}

} // namespace orvan::launcher
