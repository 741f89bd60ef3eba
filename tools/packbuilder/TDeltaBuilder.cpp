#include "TDeltaBuilder.h"

#include "TChunkDeltaEncoder.h"
#include "TDeltaBaseSelector.h"
#include "TDeltaHistory.h"
#include "TObjectStore.h"
#include "TPackBuildError.h"

#include "delta/TChunkDeltaFormat.h"
#include "hash/TSha256.h"

#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QtConcurrent>

#include <exception>

namespace packbuilder {

namespace {

QByteArray keyOf(const QByteArray& chunkHash, const std::vector<QByteArray>& from)
{
    QByteArray key = chunkHash;
    for (const QByteArray& hash : from)
        key += hash;
    return key;
}

} // namespace

TDeltaBuilder::TDeltaBuilder(const TObjectStore& store, const TDeltaHistory& history, int level)
    : m_store(store), m_history(history), m_level(level)
{}

TDeltaBuilder::TResult TDeltaBuilder::build(const std::vector<TNewFile>& files,
                                            const QHash<QByteArray, quint64>& packedSizes) const
{
    TResult result;
    std::vector<TJob> jobs;
    QSet<QByteArray> planned;
    for (const TPublishedLayout& version : m_history.versions()) {
        for (const TNewFile& file : files)
            planFile(file, version, packedSizes, planned, jobs, result);
    }
    // Each job loads its base only when it runs: the pool's thread count bounds the memory.
    std::vector<QFuture<TJobResult>> futures;
    futures.reserve(jobs.size());
    for (const TJob& job : jobs)
        futures.push_back(QtConcurrent::run([this, &job] { return run(job); }));
    for (QFuture<TJobResult>& future : futures)
        future.waitForFinished();
    for (QFuture<TJobResult>& future : futures) {
        const TJobResult outcome = future.result();
        if (!outcome.error.isEmpty())
            throw TPackBuildError(outcome.error);
        if (!outcome.delta)
            continue;
        result.deltas[outcome.chunkHash].push_back(*outcome.delta);
        if (outcome.written) {
            ++result.written;
            result.bytesWritten += outcome.delta->size;
        } else {
            ++result.reused;
        }
    }
    return result;
}

void TDeltaBuilder::planFile(const TNewFile& file, const TPublishedLayout& version,
                             const QHash<QByteArray, quint64>& packedSizes, QSet<QByteArray>& planned,
                             std::vector<TJob>& jobs, TResult& result) const
{
    const std::vector<TPublishedLayout::TChunkRef>* old = version.chunksOf(file.localFile);
    if (old == nullptr || file.chunks.size() < 2)
        return;
    QSet<QByteArray> oldHashes;
    std::vector<quint64> oldSizes;
    for (const TPublishedLayout::TChunkRef& chunk : *old) {
        oldHashes.insert(chunk.hash);
        oldSizes.push_back(chunk.size);
    }
    quint64 offset = 0;
    for (const TPublishedLayout::TChunkRef& chunk : file.chunks) {
        const quint64 start = offset;
        offset += chunk.size;
        // A launcher finds a chunk of its own version wherever it lies in the file.
        if (oldHashes.contains(chunk.hash))
            continue;
        std::vector<QByteArray> from;
        for (const std::size_t position :
             TDeltaBaseSelector::select(oldSizes, start, offset, shared::TChunkDeltaFormat::MaxBaseBytes))
            from.push_back((*old)[position].hash);
        const QByteArray key = keyOf(chunk.hash, from);
        if (from.empty() || planned.contains(key))
            continue;
        planned.insert(key);
        if (const TPublishedDelta* known = reusableDelta(chunk.hash, from)) {
            result.deltas[chunk.hash].push_back(*known);
            ++result.reused;
            continue;
        }
        jobs.push_back({chunk.hash, chunk.size, file.sourcePath, start, packedSizes.value(chunk.hash), from});
    }
}

const TPublishedDelta* TDeltaBuilder::reusableDelta(const QByteArray& chunkHash,
                                                    const std::vector<QByteArray>& from) const
{
    const auto known = m_history.knownDeltas().constFind(chunkHash);
    if (known == m_history.knownDeltas().constEnd())
        return nullptr;
    for (const TPublishedDelta& delta : known.value()) {
        if (delta.from == from &&
            QFileInfo(m_store.absolutePathOfUrl(delta.url)).size() == static_cast<qint64>(delta.size))
            return &delta;
    }
    return nullptr;
}

TDeltaBuilder::TJobResult TDeltaBuilder::run(const TJob& job) const
{
    TJobResult result;
    result.chunkHash = job.chunkHash;
    QByteArray base;
    QByteArray chunk;
    try {
        base = baseOf(job);
        chunk = readSource(job);
    } catch (const std::exception&) {
        // The older version's objects were pruned or the source changed under the build: no delta.
        return result;
    }
    try {
        const QByteArray delta = TChunkDeltaEncoder::encode(base, chunk, m_level);
        if (static_cast<quint64>(delta.size()) * 2 >= job.objectSize)
            return result;
        const TStoredObject object = m_store.storeDelta(delta);
        result.delta = TPublishedDelta{job.from, object.url, object.packedSize, object.packedHash};
        result.written = !object.reused;
    } catch (const std::exception& error) {
        result.error = QString::fromUtf8(error.what());
    }
    return result;
}

QByteArray TDeltaBuilder::baseOf(const TJob& job) const
{
    QByteArray base;
    for (const QByteArray& hash : job.from)
        base += m_store.readContent(hash);
    return base;
}

QByteArray TDeltaBuilder::readSource(const TJob& job)
{
    QFile file(job.sourcePath);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(static_cast<qint64>(job.offset)))
        throw TPackBuildError(QStringLiteral("cannot read '%1'").arg(job.sourcePath));
    const QByteArray chunk = file.read(static_cast<qint64>(job.chunkSize));
    if (static_cast<quint64>(chunk.size()) != job.chunkSize || shared::TSha256::hash(chunk) != job.chunkHash)
        throw TPackBuildError(QStringLiteral("'%1' changed during the build").arg(job.sourcePath));
    return chunk;
}

} // namespace packbuilder
