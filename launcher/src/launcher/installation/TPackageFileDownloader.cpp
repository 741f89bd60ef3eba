#include "TPackageFileDownloader.h"

#include "InstallationMetaTypes.h"
#include "TChunkDeltaRebuilder.h"
#include "TDownloadJobPlanner.h"

#include "compression/TContainerDecoder.h"
#include "filesystemhelper/TFileSystemHelper.h"
#include "hash/TSha256.h"
#include "network/TDownloadPool.h"
#include "settings/TLauncherFilesystemHelper.h"
#include "settings/TLauncherSettings.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QFutureWatcher>
#include <QThread>
#include <QtConcurrent>

#include <algorithm>
#include <exception>
#include <limits>
#include <stdexcept>

namespace orvan::launcher {

namespace {

const char* stepName(int step)
{
    static const char* const names[] = {"decompress", "verify", "save"};
    return names[step];
}

void logRefusal(const TDownloadPlan::TRefusedFile& refused)
{
    if (refused.reason == TDownloadPlan::ERefusal::PathTakenByAnotherFile)
        qWarning() << "file" << refused.localFile << "can't be built: another file of the run has its path";
    else
        qWarning() << "file" << refused.localFile
                   << "can't be built:" << TDownloadJobPlanner::reasonText(refused.reason);
}

/// The time left is logged at most this often while a run downloads.
constexpr qint64 TimeLeftLogIntervalMs = 10000;

} // namespace

TPackageFileDownloader::TPackageFileDownloader(std::shared_ptr<shared::TDownloadPool> downloadPool,
                                               std::shared_ptr<TLauncherFilesystemHelper> filesystemHelper)
    : m_downloadPool(std::move(downloadPool)), m_filesystemHelper(std::move(filesystemHelper))
{
    registerInstallationMetaTypes();
    m_progressTimer.setInterval(ProgressIntervalMs);
    connect(m_downloadPool.get(), &shared::TDownloadPool::success, this, &TPackageFileDownloader::onDownloadCompleted);
    connect(m_downloadPool.get(), &shared::TDownloadPool::failed, this, &TPackageFileDownloader::onDownloadFailed);
    connect(m_downloadPool.get(), &shared::TDownloadPool::progress, this, [this](const QUrl& url, qint64 bytes) {
        onDownloadProgress(url, bytes > 0 ? static_cast<TFileSize>(bytes) : 0);
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

void TPackageFileDownloader::setFileSystemHelper(std::shared_ptr<const shared::TFileSystemHelper> fileSystemHelper)
{
    m_fileSystemOverride = std::move(fileSystemHelper);
}

void TPackageFileDownloader::downloadFiles(QDir installationDirectory, int selfUpdateMode, QList<TFileToDownload> files)
{
    m_queueingTimer.start();
    const quint64 run = ++m_runNumber;
    resetRun(installationDirectory, selfUpdateMode);
    m_runActive = true;
    // Until every job has been handed to the pool the run cannot end.
    m_requestingJobs = true;
    m_progressTimer.start();
    // Planning tens of thousands of files takes long enough to freeze the window: it runs on the
    // pool and the run starts when the plan is back.
    using TPlanResult = std::shared_ptr<TPreparedRun>;
    auto* watcher = new QFutureWatcher<TPlanResult>(this);
    connect(watcher, &QFutureWatcher<TPlanResult>::finished, this, [this, watcher, run] {
        const TPlanResult prepared = watcher->result();
        watcher->deleteLater();
        if (run == m_runNumber)
            startRun(*prepared);
    });
    const QFuture<TPlanResult> future = QtConcurrent::run(
        [directory = m_installationDirectory, helper = m_filesystemHelper, files = std::move(files)]() mutable {
            return prepareRun(directory, helper, std::move(files));
        });
    trackStep(future);
    watcher->setFuture(future);
}

std::shared_ptr<TPackageFileDownloader::TPreparedRun>
TPackageFileDownloader::prepareRun(const QDir& installationDirectory,
                                   const std::shared_ptr<TLauncherFilesystemHelper>& helper,
                                   QList<TFileToDownload> files)
{
    const TDownloadJobPlanner planner(installationDirectory, [helper](const QDir& directory, const QString& localFile) {
        return helper->fileSystemHelper().resolvePathInsideDirectory(directory, localFile);
    });
    auto prepared = std::make_shared<TPreparedRun>();
    prepared->plan = planner.plan(std::move(files));
    const std::vector<TChunkToDownload>& jobs = prepared->plan.jobs;
    prepared->outstanding.reserve(static_cast<int>(jobs.size()));
    prepared->unwritten.reserve(static_cast<int>(jobs.size()));
    for (std::size_t index = 0; index < jobs.size(); ++index) {
        prepared->outstanding.insert(jobs[index].chunk.url, index);
        prepared->unwritten.insert(jobs[index].contentUrl());
    }
    return prepared;
}

void TPackageFileDownloader::startRun(TPreparedRun& prepared)
{
    if (!adoptPlan(prepared.plan))
        m_atLeastOneDownloadFailed = true;
    qInfo() << "start download of " << m_allChunks.size() << " files Thread: " << QThread::currentThreadId();
    m_outstandingChunks = std::move(prepared.outstanding);
    m_unwrittenChunks = std::move(prepared.unwritten);
    countTotals();
    m_nextJobToRequest = 0;
    requestNextJobs();
}

void TPackageFileDownloader::resetRun(const QDir& installationDirectory, int selfUpdateMode)
{
    m_installationDirectory = installationDirectory;
    m_selfUpdateMode = selfUpdateMode;
    m_pendingChunks->clear();
    m_pendingChunks->setTemporaryDirectory(installationDirectory.absolutePath());
    m_atLeastOneDownloadFailed = false;
    m_atLeastOneSavingOperationFailed = false;
    m_allChunks.clear();
    m_outstandingChunks.clear();
    m_unwrittenChunks.clear();
    m_heldBackRequests.clear();
    m_waitingDecompressions.clear();
    m_downloadedBytes.clear();
    m_downloadedTotal = 0;
    m_writtenTotal = 0;
    m_downloadRate.resetTotals();
    m_writeRate.resetTotals();
    m_locations.resetFailures();
    m_requestedChunks.clear();
    // Set again when the run's plan is in; resume() asks for jobs only from then on.
    m_fileWriter.reset();
    m_timeLeft.reset();
    m_runClock.start();
    m_nextTimeLeftLogMs = TimeLeftLogIntervalMs;
}

bool TPackageFileDownloader::adoptPlan(TDownloadPlan& plan)
{
    for (const TDownloadPlan::TRefusedFile& refused : plan.refusedFiles)
        logRefusal(refused);
    for (const auto& file : plan.files) {
        for (const int position : file->pendingPositions)
            m_pendingChunks->addUse(file->chunks[static_cast<std::size_t>(position)].unpackedHash);
    }
    m_allChunks = std::move(plan.jobs);
    // Emitted from the save steps, which the destructor waits for.
    auto positionWritten = [this](const QUrl& url, TFileSize bytes) { emit writeProgress(url, bytes); };
    m_fileWriter = std::make_shared<const TTargetFileWriter>(writeContext(), std::move(plan.files), m_pendingChunks,
                                                             std::move(positionWritten));
    return plan.refusedFiles.empty();
}

TTargetFileWriter::TContext TPackageFileDownloader::writeContext() const
{
    std::shared_ptr<const shared::TFileSystemHelper> fileSystem = m_fileSystemOverride;
    if (!fileSystem)
        fileSystem = std::shared_ptr<const shared::TFileSystemHelper>(m_filesystemHelper,
                                                                      &m_filesystemHelper->fileSystemHelper());
    return {m_filesystemHelper->settings(), std::move(fileSystem), static_cast<ESelfUpdateMode>(m_selfUpdateMode),
            m_installationDirectory.absolutePath()};
}

void TPackageFileDownloader::countTotals()
{
    m_totalToDownload = 0;
    m_totalToWrite = 0;
    for (const TChunkToDownload& job : m_allChunks) {
        m_totalToDownload += job.chunk.packedSize;
        m_totalToWrite += job.chunk.unpackedSize;
    }
}

void TPackageFileDownloader::requestNextJobs()
{
    QElapsedTimer turn;
    turn.start();
    while (m_nextJobToRequest < m_allChunks.size()) {
        // resume() goes on from here.
        if (m_paused)
            return;
        // A copy: a request refused at once already changes the outstanding jobs.
        const QUrl url = m_allChunks[m_nextJobToRequest++].chunk.url;
        requestJob(url);
        if (turn.elapsed() >= RequestTurnMs) {
            // Tens of thousands of requests would hold the thread, and with it the window, for
            // seconds: the rest follows once the events that wait in the meantime were handled.
            QMetaObject::invokeMethod(
                this,
                [this, run = m_runNumber] {
                    if (run == m_runNumber && m_requestingJobs)
                        requestNextJobs();
                },
                Qt::QueuedConnection);
            return;
        }
    }
    m_requestingJobs = false;
    m_queueingNanoseconds = m_queueingTimer.nsecsElapsed();
    if (m_outstandingChunks.empty()) {
        // The caller learns the outcome from the event loop, never from inside downloadFiles.
        QMetaObject::invokeMethod(
            this, [this] { emitFinishedSignalWhenNoMoreFilesAreOutstanding(); }, Qt::QueuedConnection);
    }
}

void TPackageFileDownloader::requestJob(const QUrl& jobUrl)
{
    const QUrl url = locatedRequestUrl(jobUrl);
    const TChunkToDownload* job = findOutstanding(url);
    if (!job)
        return;
    if (TDownloadPlan::logsEachStep(*job))
        qInfo() << "start download of " << url << " Thread: " << QThread::currentThreadId();
    addToPool(url, job->chunk.packedSize);
}

void TPackageFileDownloader::addToPool(const QUrl& url, quint64 packedSize)
{
    // Before the call: a refused request is reported before it returns.
    m_requestedChunks.insert(url);
    m_downloadPool->addRequest(url, shared::TDownloadPool::maxResponseBytesFor(packedSize));
}

void TPackageFileDownloader::requestOrHoldBack(const QUrl& url, quint64 packedSize)
{
    if (m_paused)
        m_heldBackRequests.push_back(url);
    else
        addToPool(url, packedSize);
}

TChunkToDownload* TPackageFileDownloader::findOutstanding(const QUrl& url)
{
    const auto found = m_outstandingChunks.constFind(url);
    return found == m_outstandingChunks.constEnd() ? nullptr : &m_allChunks[found.value()];
}

bool TPackageFileDownloader::removeOutstanding(const QUrl& url)
{
    if (m_outstandingChunks.remove(url) == 0)
        return false;
    // Its bytes stay in the total; later reports for the URL no longer count.
    m_downloadedBytes.remove(url);
    return true;
}

bool TPackageFileDownloader::logsEachStep(const QUrl& url)
{
    const TChunkToDownload* job = findOutstanding(url);
    return !job || TDownloadPlan::logsEachStep(*job);
}

void TPackageFileDownloader::onDownloadCompleted(QUrl url, QByteArray data)
{
    if (logsEachStep(url))
        qInfo() << "onDownloadCompleted " << url << " Thread: " << QThread::currentThreadId();
    m_requestedChunks.remove(url);
    processDownloadedData(url, data, false, false);
}

void TPackageFileDownloader::processDownloadedData(const QUrl& url, const QByteArray& data, bool decompressed,
                                                   bool verified)
{
    const TChunkToDownload* job = findOutstanding(url);
    if (!job) {
        m_downloadPool->releaseRequest(url);
        return;
    }
    EStep step = EStep::Decompress;
    if (verified && decompressed)
        step = EStep::Save;
    else if (!verified && (decompressed || !job->chunk.unpack))
        step = EStep::Verify;
    static const char* const texts[] = {"processDownloadedData decompress ", "processDownloadedData verify ",
                                        "processDownloadedData save "};
    if (TDownloadPlan::logsEachStep(*job))
        qInfo() << texts[static_cast<int>(step)] << url << " Thread: " << QThread::currentThreadId();
    startStep(step, *job, data);
}

void TPackageFileDownloader::startStep(EStep step, const TChunkToDownload& job, const QByteArray& data)
{
    const quint64 decodedBytes = step == EStep::Decompress ? job.chunk.unpackedSize : 0;
    if (step == EStep::Decompress && (!m_waitingDecompressions.empty() || !mayStartDecompression(decodedBytes))) {
        // Decoding takes long: queued in the pool, later decodes would delay the quick verify and
        // save steps of decoded chunks, which hold download slots until they are written.
        m_waitingDecompressions.emplace_back(job, data);
        return;
    }
    launchStep(step, job, data);
}

void TPackageFileDownloader::launchStep(EStep step, const TChunkToDownload& job, const QByteArray& data)
{
    const quint64 decodedBytes = step == EStep::Decompress ? job.chunk.unpackedSize : 0;
    if (step == EStep::Decompress)
        m_decodingBudget.start(decodedBytes);
    const std::shared_ptr<const TTargetFileWriter> writer = m_fileWriter;
    const QUrl url = job.chunk.url;
    // The outcome comes back as a queued call instead of through a future watcher: every watcher
    // asks the system for its processor count, three times per chunk, thousands of times a second.
    trackStep(QtConcurrent::run([this, step, job, data, writer, url, decodedBytes] {
        std::optional<QByteArray> result = runStep(step, job, data, *writer);
        QMetaObject::invokeMethod(
            this,
            [this, step, url, decodedBytes, result = std::move(result)] {
                if (step == EStep::Decompress)
                    m_decodingBudget.finish(decodedBytes);
                onStepFinished(step, url, result);
            },
            Qt::QueuedConnection);
    }));
}

void TPackageFileDownloader::trackStep(const QFuture<void>& future)
{
    m_runningSteps.erase(std::remove_if(m_runningSteps.begin(), m_runningSteps.end(),
                                        [](const QFuture<void>& running) { return running.isFinished(); }),
                         m_runningSteps.end());
    m_runningSteps.emplace_back(future);
}

std::optional<QByteArray> TPackageFileDownloader::runStep(EStep step, const TChunkToDownload& job,
                                                          const QByteArray& data, const TTargetFileWriter& writer)
{
    try {
        switch (step) {
        case EStep::Decompress:
            if (job.delta)
                return TChunkDeltaRebuilder::rebuild(job, data);
            return decompressDownloadedData(job, data);
        case EStep::Verify:
            return verifyDownloadedData(job, data);
        case EStep::Save:
            writer.save(job, data);
            return QByteArray();
        }
    } catch (const std::exception& error) {
        qWarning() << "processDownloadedData" << stepName(static_cast<int>(step)) << job.chunk.url
                   << "failed:" << error.what();
    } catch (...) {
        qWarning() << "processDownloadedData" << stepName(static_cast<int>(step)) << job.chunk.url << "failed";
    }
    return std::nullopt;
}

void TPackageFileDownloader::onStepFinished(EStep step, const QUrl& url, const std::optional<QByteArray>& result)
{
    switch (step) {
    case EStep::Decompress:
        onDecompressFinished(url, result);
        return;
    case EStep::Verify:
        onVerifyFinished(url, result);
        return;
    case EStep::Save:
        onSaveFinished(url, result.has_value());
        return;
    }
}

void TPackageFileDownloader::onDecompressFinished(const QUrl& url, const std::optional<QByteArray>& result)
{
    if (!result || logsEachStep(url))
        qInfo() << "processDownloadedData decompress finished " << url << " Thread: " << QThread::currentThreadId();
    if (result) {
        processDownloadedData(url, *result, true, false);
    } else if (const TChunkToDownload* job = findOutstanding(url);
               !job || !job->delta || !fallBackFromDelta(url, job->delta->failure)) {
        qWarning() << "Failed to decompress file downloaded from" << url;
        // Another location may hold an intact copy; the same bytes would fail here again.
        TChunkToDownload* failed = findOutstanding(url);
        m_downloadPool->releaseRequest(url);
        if (!failed || !tryNextLocation(*failed, true))
            giveUp(url);
    }
    startWaitingDecompression();
}

void TPackageFileDownloader::onVerifyFinished(const QUrl& url, const std::optional<QByteArray>& result)
{
    if (!result || logsEachStep(url))
        qInfo() << "processDownloadedData verify finished " << url << " Thread: " << QThread::currentThreadId();
    if (result) {
        if (const TChunkToDownload* job = findOutstanding(url))
            m_locations.recordSuccess(url, job->location);
        processDownloadedData(url, *result, true, true);
        return;
    }
    qWarning() << "Failed to verify file downloaded from" << url;
    m_downloadPool->releaseRequest(url);
    if (TChunkToDownload* job = findOutstanding(url))
        retryOrGiveUp(*job, ETryFailure::Verification, QString());
}

void TPackageFileDownloader::startWaitingDecompression()
{
    while (!m_waitingDecompressions.empty() &&
           mayStartDecompression(m_waitingDecompressions.front().first.chunk.unpackedSize)) {
        const std::pair<TChunkToDownload, QByteArray> next = std::move(m_waitingDecompressions.front());
        m_waitingDecompressions.pop_front();
        launchStep(EStep::Decompress, next.first, next.second);
    }
}

bool TPackageFileDownloader::mayStartDecompression(quint64 decodedBytes) const
{
    return m_decodingBudget.canStart(decodedBytes, QThreadPool::globalInstance()->maxThreadCount());
}

void TPackageFileDownloader::onSaveFinished(const QUrl& url, bool succeeded)
{
    const Qt::HANDLE thread = QThread::currentThreadId();
    const bool logged = !succeeded || logsEachStep(url);
    // The one line of every job, however small its file.
    qInfo() << "processDownloadedData save completed " << url << " Thread: " << thread;
    if (!succeeded) {
        qWarning() << "Failed to save file downloaded from" << url << " Thread: " << thread;
        giveUp(url);
        return;
    }
    if (logged)
        qInfo() << "processFinishedData: " << url << thread;
    // Before the slot frees: releasing it starts the next queued request.
    holdBackOrResumeRequests();
    m_downloadPool->releaseRequest(url);
    if (!findOutstanding(url))
        return;
    if (logged)
        qInfo() << "processFinishedData found: " << url << thread;
    removeOutstanding(url);
    emitFinishedSignalWhenNoMoreFilesAreOutstanding(logged);
}

void TPackageFileDownloader::holdBackOrResumeRequests()
{
    // While paused every request stays held back; resume() comes back here.
    if (m_paused)
        return;
    const bool holdBack = m_pendingChunks->isByteBoundReached() && !m_atLeastOneDownloadFailed;
    if (m_heldBackRequests.empty() && !holdBack)
        return;
    // Files only move forward when their front positions arrive: those are never held back.
    std::vector<QUrl> stillHeldBack = resumeHeldBackRequests(holdBack);
    if (holdBack)
        takeBackQueuedRequests(stillHeldBack);
    // Appended: asking again may fail at once and come back here with requests of its own.
    m_heldBackRequests.insert(m_heldBackRequests.end(), stillHeldBack.begin(), stillHeldBack.end());
}

std::vector<QUrl> TPackageFileDownloader::resumeHeldBackRequests(bool holdBack)
{
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
    return stillHeldBack;
}

void TPackageFileDownloader::takeBackQueuedRequests(std::vector<QUrl>& heldBack)
{
    for (const std::size_t index : qAsConst(m_outstandingChunks)) {
        const TChunkToDownload& job = m_allChunks[index];
        if (m_downloadPool->isQueued(job.chunk.url) && !isNeededNext(job)) {
            m_downloadPool->cancelRequest(job.chunk.url);
            m_requestedChunks.remove(job.chunk.url);
            heldBack.push_back(job.chunk.url);
        }
    }
}

bool TPackageFileDownloader::isNeededNext(const TChunkToDownload& job)
{
    return std::any_of(job.targetFiles.begin(), job.targetFiles.end(), [&job](const auto& file) {
        const QMutexLocker lock(&file->mutex);
        return !file->pendingPositions.isEmpty() &&
               file->chunks[static_cast<std::size_t>(file->pendingPositions.front())].unpackedHash ==
                   job.chunk.unpackedHash;
    });
}

void TPackageFileDownloader::requestAgain(const QUrl& jobUrl)
{
    const QUrl url = locatedRequestUrl(jobUrl);
    if (const TChunkToDownload* job = findOutstanding(url))
        addToPool(url, job->chunk.packedSize);
}

void TPackageFileDownloader::giveUp(const QUrl& url)
{
    m_downloadPool->releaseRequest(url);
    dropFailedJob(url);
}

bool TPackageFileDownloader::fallBackFromDelta(const QUrl& url, const QString& reason)
{
    const auto found = m_outstandingChunks.constFind(url);
    if (found == m_outstandingChunks.constEnd() || !m_allChunks[found.value()].delta)
        return false;
    const std::size_t index = found.value();
    TChunkToDownload& job = m_allChunks[index];
    qWarning().noquote() << "delta" << url.toString() << "of chunk" << job.contentUrl().toString() << "failed"
                         << (reason.isEmpty() ? QStringLiteral("(no usable delta)")
                                              : QStringLiteral("(%1)").arg(reason))
                         << "- downloading the whole chunk";
    m_downloadPool->releaseRequest(url);
    // The total counts what is actually fetched: what arrived of the delta, then the whole chunk.
    const quint64 received = m_downloadedBytes.value(url, 0);
    removeOutstanding(url);
    const quint64 deltaSize = job.detachDelta();
    m_totalToDownload = m_totalToDownload - std::min(m_totalToDownload, deltaSize) + received + job.chunk.packedSize;
    m_outstandingChunks.insert(job.chunk.url, index);
    requestJob(job.chunk.url);
    return true;
}

void TPackageFileDownloader::dropFailedJob(const QUrl& url)
{
    removeOutstanding(url);
    m_atLeastOneDownloadFailed = true;
    holdBackOrResumeRequests();
    emitFinishedSignalWhenNoMoreFilesAreOutstanding();
}

void TPackageFileDownloader::retryOrGiveUp(TChunkToDownload& job, ETryFailure failure, const QString& errorString)
{
    const QUrl url = job.chunk.url;
    if (job.delta && fallBackFromDelta(url, failure == ETryFailure::Download ? errorString : QString()))
        return;
    const bool lastTry = job.retryCount >= MaximumRetries;
    if (lastTry || m_locations.isGivenUp(url, job.location)) {
        if (tryNextLocation(job, lastTry))
            return;
        if (failure == ETryFailure::Verification)
            qCritical() << "Verify of " << url << "failed.";
        else
            qCritical() << "Download of " << url << "failed:" << errorString;
        dropFailedJob(url);
        return;
    }
    qInfo() << "Retry " << url << " Thread: " << QThread::currentThreadId();
    ++job.retryCount;
    // The request may fail at once and change the outstanding jobs: Job is not used after this.
    requestOrHoldBack(url, job.chunk.packedSize);
}

QUrl TPackageFileDownloader::locatedRequestUrl(const QUrl& url)
{
    TChunkToDownload* job = findOutstanding(url);
    if (!job || !m_locations.isGivenUp(url, job->location))
        return url;
    const int location = m_locations.usableLocation(url, job->location);
    const QUrl moved = location == TMirrorLocations::NoLocation ? QUrl() : moveJob(*job, location);
    if (moved.isEmpty()) {
        qCritical() << "Download of " << url << "failed:"
                    << "no download location left";
        dropFailedJob(url);
    }
    return moved;
}

bool TPackageFileDownloader::tryNextLocation(TChunkToDownload& job, bool objectFailed)
{
    const QUrl url = job.chunk.url;
    const int from = job.location;
    if (objectFailed && m_locations.recordFailure(url, from))
        moveQueuedJobsOff(from);
    const int location = m_locations.nextLocation(url, from);
    const QUrl moved = location == TMirrorLocations::NoLocation ? QUrl() : moveJob(job, location);
    if (moved.isEmpty())
        return false;
    qInfo() << "Download of " << url << "failed; trying " << moved << " Thread: " << QThread::currentThreadId();
    requestOrHoldBack(moved, job.chunk.packedSize);
    return true;
}

QUrl TPackageFileDownloader::moveJob(TChunkToDownload& job, int location)
{
    const QUrl from = job.chunk.url;
    const QUrl to = m_locations.relocated(from, job.location, location);
    if (to == from)
        return to;
    if (m_outstandingChunks.contains(to))
        return QUrl();
    m_outstandingChunks.insert(to, m_outstandingChunks.take(from));
    // The failed try's bytes stay counted until the new try reports, as on a retry.
    if (m_downloadedBytes.contains(from))
        m_downloadedBytes.insert(to, m_downloadedBytes.take(from));
    job.chunk.url = to;
    job.location = location;
    job.retryCount = 0;
    return to;
}

void TPackageFileDownloader::moveQueuedJobsOff(int location)
{
    std::vector<QUrl> queued;
    for (const std::size_t index : qAsConst(m_outstandingChunks)) {
        const TChunkToDownload& job = m_allChunks[index];
        if (job.location == location && m_downloadPool->isQueued(job.chunk.url) &&
            m_locations.isGivenUp(job.chunk.url, location))
            queued.push_back(job.chunk.url);
    }
    for (const QUrl& url : queued) {
        m_downloadPool->cancelRequest(url);
        m_requestedChunks.remove(url);
        requestAgain(url);
    }
}

void TPackageFileDownloader::onDownloadFailed(QUrl url, QNetworkReply::NetworkError, QString errorString)
{
    qInfo() << "onDownloadFailed " << url << " Thread: " << QThread::currentThreadId();
    m_requestedChunks.remove(url);
    m_downloadPool->releaseRequest(url);
    if (TChunkToDownload* job = findOutstanding(url))
        retryOrGiveUp(*job, ETryFailure::Download, errorString);
}

void TPackageFileDownloader::emitFinishedSignalWhenNoMoreFilesAreOutstanding(bool logged)
{
    if (logged || m_outstandingChunks.isEmpty())
        qInfo() << "emitFinishedSignalWhenNoMoreFilesAreOutstanding ActiveDownloads: "
                << m_downloadPool->runningRequestCount() << " FilesInProgress: " << m_outstandingChunks.size()
                << " AtLeastOneDownloadFailed " << m_atLeastOneDownloadFailed << " AtLeastOneSavingOperationFailed "
                << m_atLeastOneSavingOperationFailed << " Thread: " << QThread::currentThreadId();
    if (!m_outstandingChunks.isEmpty() || m_requestingJobs || !m_runActive)
        return;
    m_runActive = false;
    if (!m_fileWriter->finishRun(!m_atLeastOneDownloadFailed))
        m_atLeastOneDownloadFailed = true;
    m_pendingChunks->clear();
    m_downloadRate.reset();
    m_writeRate.reset();
    m_progressTimer.stop();
    emitProgress();
    // The run's file states and jobs are done with: they go before the installation reads its
    // marker back, which costs as much again for a large package.
    m_fileWriter.reset();
    std::vector<TChunkToDownload>().swap(m_allChunks);
    emitOutcome();
}

void TPackageFileDownloader::emitOutcome()
{
    if (m_atLeastOneDownloadFailed)
        emit downloadFailed(EPackageDownloaderError::DownloadFailed);
    else if (m_atLeastOneSavingOperationFailed)
        emit downloadFailed(EPackageDownloaderError::SavingFailed);
    else
        emit downloadCompleted();
}

void TPackageFileDownloader::onDownloadProgress(QUrl url, TFileSize downloadedBytes)
{
    if (!findOutstanding(url))
        return;
    TFileSize& latest = m_downloadedBytes[url];
    // A retry restarts the count of its URL: the total follows it down.
    m_downloadedTotal = m_downloadedTotal - latest + downloadedBytes;
    latest = downloadedBytes;
}

void TPackageFileDownloader::onWriteProgress(QUrl url, TFileSize downloadedBytes)
{
    // Each distinct chunk counts once, however many positions it is written at.
    if (m_unwrittenChunks.remove(url))
        m_writtenTotal += downloadedBytes;
}

void TPackageFileDownloader::onProgressTick()
{
    m_downloadRate.addTotal(m_downloadedTotal);
    m_writeRate.addTotal(m_writtenTotal);
    updateTimeLeft();
    emitProgress();
}

void TPackageFileDownloader::updateTimeLeft()
{
    if (m_paused || m_downloadedTotal >= m_totalToDownload)
        return;
    const qint64 now = m_runClock.elapsed();
    m_timeLeft.addSample(now, m_downloadedTotal, m_totalToDownload);
    if (now < m_nextTimeLeftLogMs)
        return;
    if (const std::optional<qint64> seconds = m_timeLeft.secondsLeft()) {
        m_nextTimeLeftLogMs = now + TimeLeftLogIntervalMs;
        qInfo().noquote() << "download time left:" << TTimeLeftEstimator::durationText(*seconds);
    }
}

std::optional<qint64> TPackageFileDownloader::downloadSecondsLeft() const
{
    if (m_paused || !m_runActive || m_downloadedTotal >= m_totalToDownload)
        return std::nullopt;
    return m_timeLeft.secondsLeft();
}

void TPackageFileDownloader::pause()
{
    if (m_paused)
        return;
    m_paused = true;
    m_timeLeft.reset();
    std::vector<QUrl> queued;
    std::vector<QUrl> running;
    for (const QUrl& url : qAsConst(m_requestedChunks))
        (m_downloadPool->isQueued(url) ? queued : running).push_back(url);
    m_requestedChunks.clear();
    // The queued ones first: a cancelled running request frees its slot, which would start them.
    for (const QUrl& url : queued)
        m_downloadPool->cancelRequest(url);
    for (const QUrl& url : running) {
        m_downloadPool->cancelRequest(url);
        // Asked for again, the request counts from 0.
        m_downloadedTotal -= m_downloadedBytes.take(url);
    }
    std::vector<QUrl> held = std::move(queued);
    held.insert(held.end(), running.begin(), running.end());
    // Asked for again in download order.
    std::sort(held.begin(), held.end(), [this](const QUrl& left, const QUrl& right) {
        return m_outstandingChunks.value(left) < m_outstandingChunks.value(right);
    });
    m_heldBackRequests.insert(m_heldBackRequests.end(), held.begin(), held.end());
    qInfo() << "download paused:" << held.size() << "requests held back";
}

void TPackageFileDownloader::resume()
{
    if (!m_paused)
        return;
    m_paused = false;
    qInfo() << "download resumed";
    if (!m_runActive)
        return;
    holdBackOrResumeRequests();
    if (m_requestingJobs && m_fileWriter)
        requestNextJobs();
}

void TPackageFileDownloader::emitProgress()
{
    emit progress(m_downloadedTotal, m_totalToDownload, m_writtenTotal, m_totalToWrite);
}

QByteArray TPackageFileDownloader::decompressDownloadedData(const TChunkToDownload& job, const QByteArray& data)
{
    const bool logged = TDownloadPlan::logsEachStep(job);
    if (logged)
        qDebug() << "decompressDownloadedData " << job.chunk.url << "started";
    // Only the chunk's own size can pass the hash check, so no container may unpack to more.
    const auto capacity = static_cast<qint64>(
        std::min<quint64>(job.chunk.unpackedSize, static_cast<quint64>(std::numeric_limits<qint64>::max())));
    QByteArray decoded = shared::decompressContainer(data, capacity);
    if (logged)
        qDebug() << "decompressDownloadedData " << job.chunk.url << "finished";
    return decoded;
}

QByteArray TPackageFileDownloader::verifyDownloadedData(const TChunkToDownload& job, const QByteArray& data)
{
    const bool logged = TDownloadPlan::logsEachStep(job);
    if (logged)
        qDebug() << "verifyDownloadedData " << job.chunk.url << "started";
    if (shared::TSha256::hash(data) != job.chunk.unpackedHash) {
        qInfo() << "saveDownloadedData failed: invalid hash";
        throw std::runtime_error(
            QStringLiteral("verify of url '%1' failed").arg(job.chunk.url.toString()).toStdString());
    }
    if (logged)
        qDebug() << "verifyDownloadedData " << job.chunk.url << "finished";
    return data;
}

} // namespace orvan::launcher
