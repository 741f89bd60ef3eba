#include "TDownloadJobPlanner.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <limits>
#include <utility>

namespace orvan::launcher {

namespace {

using ERefusal = TDownloadPlan::ERefusal;

/// The offset of the first position of every distinct hash in the file's full chunk list.
QHash<QByteArray, quint64> firstOffsetsOf(const TChunkedFileState& file)
{
    QHash<QByteArray, quint64> firstOffsets;
    firstOffsets.reserve(static_cast<int>(file.chunks.size()));
    for (std::size_t position = 0; position < file.chunks.size(); ++position) {
        if (!firstOffsets.contains(file.chunks[position].unpackedHash))
            firstOffsets.insert(file.chunks[position].unpackedHash, file.offsets[position]);
    }
    return firstOffsets;
}

/// Adds the file to the job of every distinct chunk it still needs; jobByUrl indexes jobs, and
/// frontOffsets holds each job's lowest offset of its content in any of its files.
void addJobsOf(const std::shared_ptr<TChunkedFileState>& file, std::vector<TChunkToDownload>& jobs,
               std::vector<quint64>& frontOffsets, QHash<QUrl, std::size_t>& jobByUrl)
{
    // A file of one chunk, the common case, needs no table.
    const QHash<QByteArray, quint64> firstOffsets =
        file->chunks.size() > 1 ? firstOffsetsOf(*file) : QHash<QByteArray, quint64>();
    QSet<QByteArray> hashesListed;
    const bool mayRepeat = file->pendingPositions.size() > 1;
    for (const int position : file->pendingPositions) {
        const TChunkInPackage& chunk = file->chunks[static_cast<std::size_t>(position)];
        if (mayRepeat) {
            if (hashesListed.contains(chunk.unpackedHash))
                continue;
            hashesListed.insert(chunk.unpackedHash);
        }
        const quint64 offset = firstOffsets.value(chunk.unpackedHash, 0);
        const auto found = jobByUrl.constFind(chunk.url);
        if (found != jobByUrl.constEnd()) {
            jobs[found.value()].targetFiles.push_back(file);
            frontOffsets[found.value()] = std::min(frontOffsets[found.value()], offset);
            continue;
        }
        jobByUrl.insert(chunk.url, jobs.size());
        jobs.push_back(TChunkToDownload{chunk, {file}, 0, 0, nullptr});
        if (const auto delta = file->deltaSources.find(position); delta != file->deltaSources.end())
            jobs.back().attachDelta(delta->second);
        frontOffsets.push_back(offset);
    }
}

std::size_t positionsToFetch(const QList<TFileToDownload>& files)
{
    std::size_t positions = 0;
    for (const TFileToDownload& file : files)
        positions += file.chunksToDownload.size();
    return positions;
}

/// Puts jobs[order[i]] at position i for every i, moving each job once and without a second list.
void applyOrder(std::vector<TChunkToDownload>& jobs, std::vector<std::size_t>& order)
{
    for (std::size_t start = 0; start < order.size(); ++start) {
        if (order[start] == start)
            continue;
        TChunkToDownload held = std::move(jobs[start]);
        std::size_t current = start;
        while (order[current] != start) {
            const std::size_t next = order[current];
            jobs[current] = std::move(jobs[next]);
            order[current] = current;
            current = next;
        }
        jobs[current] = std::move(held);
        order[current] = current;
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

TDownloadPlan TDownloadJobPlanner::plan(QList<TFileToDownload> files) const
{
    TDownloadPlan plan;
    // At most one job per position to fetch: reserving it spares the copies of growing the lists.
    const std::size_t positions = positionsToFetch(files);
    plan.jobs.reserve(positions);
    plan.files.reserve(static_cast<std::size_t>(files.size()));
    QHash<QUrl, std::size_t> jobByUrl;
    jobByUrl.reserve(static_cast<int>(std::min<std::size_t>(positions, std::numeric_limits<int>::max())));
    std::vector<quint64> frontOffsets;
    frontOffsets.reserve(positions);
    QHash<QString, std::shared_ptr<TChunkedFileState>> fileByPath;
    while (!files.isEmpty()) {
        TFileToDownload file = std::move(files.first());
        files.removeFirst();
        const QString path = m_resolvePath(m_installationDirectory, file.localFile);
        if (const auto refusal = inconsistencyOf(file, path)) {
            plan.refusedFiles.push_back({file.localFile, *refusal});
            continue;
        }
        auto state = std::make_shared<TChunkedFileState>(std::move(file), path);
        // Two builders of one path would write it at the same time; a repeated entry is built once.
        if (const auto same = fileByPath.constFind(path); same != fileByPath.constEnd()) {
            if (!isSameFile(*same.value(), *state))
                plan.refusedFiles.push_back({state->localFile, ERefusal::PathTakenByAnotherFile});
            continue;
        }
        fileByPath.insert(path, state);
        addJobsOf(state, plan.jobs, frontOffsets, jobByUrl);
        plan.files.push_back(std::move(state));
    }
    sortFrontOfFileFirst(plan.jobs, frontOffsets);
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

void TDownloadJobPlanner::sortFrontOfFileFirst(std::vector<TChunkToDownload>& jobs,
                                               const std::vector<quint64>& frontOffsets)
{
    std::vector<std::size_t> order(jobs.size());
    for (std::size_t index = 0; index < order.size(); ++index)
        order[index] = index;
    std::stable_sort(order.begin(), order.end(), [&frontOffsets](std::size_t left, std::size_t right) {
        return frontOffsets[left] < frontOffsets[right];
    });
    applyOrder(jobs, order);
}

} // namespace orvan::launcher
