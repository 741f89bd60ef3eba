#include "TDownloadJobPlanner.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <limits>
#include <utility>

namespace orvan::launcher {

namespace {

using ERefusal = TDownloadPlan::ERefusal;

/// Adds the file to the job of every distinct chunk it still needs; jobByUrl indexes jobs.
void addJobsOf(const std::shared_ptr<TChunkedFileState>& file, std::vector<TChunkToDownload>& jobs,
               QHash<QUrl, std::size_t>& jobByUrl)
{
    QSet<QByteArray> hashesListed;
    for (const int position : file->pendingPositions) {
        const TChunkInPackage& chunk = file->chunks[static_cast<std::size_t>(position)];
        if (hashesListed.contains(chunk.unpackedHash))
            continue;
        hashesListed.insert(chunk.unpackedHash);
        const auto found = jobByUrl.constFind(chunk.url);
        if (found != jobByUrl.constEnd()) {
            jobs[found.value()].targetFiles.push_back(file);
            continue;
        }
        jobByUrl.insert(chunk.url, jobs.size());
        jobs.push_back(TChunkToDownload{chunk, {file}, 0, chunk.url.toString()});
    }
}

bool isSameFile(const TChunkedFileState& left, const TChunkedFileState& right)
{
    return left.unpackedHash == right.unpackedHash && left.unpackedSize == right.unpackedSize;
}

} // namespace

TDownloadJobPlanner::TDownloadJobPlanner(const QDir& installationDirectory, TPathResolver resolvePath)
    : m_installationDirectory(installationDirectory), m_resolvePath(std::move(resolvePath))
{}

TDownloadPlan TDownloadJobPlanner::plan(const QList<TFileToDownload>& files) const
{
    TDownloadPlan plan;
    QHash<QUrl, std::size_t> jobByUrl;
    QHash<QString, std::shared_ptr<TChunkedFileState>> fileByPath;
    for (const TFileToDownload& file : files) {
        const QString path = m_resolvePath(m_installationDirectory, file.localFile);
        if (const auto refusal = inconsistencyOf(file, path)) {
            plan.refusedFiles.push_back({file.localFile, *refusal});
            continue;
        }
        auto state = std::make_shared<TChunkedFileState>(file, path);
        // Two builders of one path would write it at the same time; a repeated entry is built once.
        if (const auto same = fileByPath.constFind(path); same != fileByPath.constEnd()) {
            if (!isSameFile(*same.value(), *state))
                plan.refusedFiles.push_back({file.localFile, ERefusal::PathTakenByAnotherFile});
            continue;
        }
        fileByPath.insert(path, state);
        addJobsOf(state, plan.jobs, jobByUrl);
        plan.files.push_back(std::move(state));
    }
    sortFrontOfFileFirst(plan.jobs);
    return plan;
}

QString TDownloadJobPlanner::reasonText(TDownloadPlan::ERefusal reason)
{
    switch (reason) {
    case ERefusal::PathNamesDirectory:
        return QStringLiteral("its path names the installation directory");
    case ERefusal::ChunkSizesOverflow:
        return QStringLiteral("its chunk sizes overflow");
    case ERefusal::ChunkSizesDontAddUp:
        return QStringLiteral("its chunk sizes don't add up to the file size");
    case ERefusal::PositionsOutsideChunkList:
        return QStringLiteral("its positions to download don't fit its chunk list");
    case ERefusal::PathTakenByAnotherFile:
        break;
    }
    return QStringLiteral("another file of the run has its path");
}

std::optional<TDownloadPlan::ERefusal> TDownloadJobPlanner::inconsistencyOf(const TFileToDownload& file,
                                                                            const QString& path) const
{
    if (QDir::cleanPath(path) == QDir::cleanPath(m_installationDirectory.absolutePath()))
        return ERefusal::PathNamesDirectory;
    return chunkInconsistencyOf(file);
}

std::optional<TDownloadPlan::ERefusal> TDownloadJobPlanner::chunkInconsistencyOf(const TFileToDownload& file)
{
    quint64 total = 0;
    for (const TChunkInPackage& chunk : file.chunks) {
        if (chunk.unpackedSize > std::numeric_limits<quint64>::max() - total)
            return ERefusal::ChunkSizesOverflow;
        total += chunk.unpackedSize;
    }
    if (total != file.unpackedSize)
        return ERefusal::ChunkSizesDontAddUp;
    qint32 previous = -1;
    for (const qint32 position : file.chunksToDownload) {
        if (position <= previous || static_cast<std::size_t>(position) >= file.chunks.size())
            return ERefusal::PositionsOutsideChunkList;
        previous = position;
    }
    return std::nullopt;
}

void TDownloadJobPlanner::sortFrontOfFileFirst(std::vector<TChunkToDownload>& jobs)
{
    std::vector<std::pair<quint64, std::size_t>> keys;
    keys.reserve(jobs.size());
    for (std::size_t index = 0; index < jobs.size(); ++index)
        keys.emplace_back(lowestOffsetOf(jobs[index]), index);
    std::stable_sort(keys.begin(), keys.end(),
                     [](const auto& left, const auto& right) { return left.first < right.first; });
    std::vector<TChunkToDownload> sorted;
    sorted.reserve(jobs.size());
    for (const auto& key : keys)
        sorted.push_back(std::move(jobs[key.second]));
    jobs = std::move(sorted);
}

quint64 TDownloadJobPlanner::lowestOffsetOf(const TChunkToDownload& job)
{
    quint64 lowest = std::numeric_limits<quint64>::max();
    for (const auto& file : job.targetFiles) {
        const auto& chunks = file->chunks;
        const auto first = std::find_if(chunks.begin(), chunks.end(), [&job](const TChunkInPackage& chunk) {
            return chunk.unpackedHash == job.chunk.unpackedHash;
        });
        if (first != chunks.end())
            lowest = std::min(lowest, file->offsets[static_cast<std::size_t>(first - chunks.begin())]);
    }
    return lowest;
}

} // namespace orvan::launcher
