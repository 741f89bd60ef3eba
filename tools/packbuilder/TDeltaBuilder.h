#pragma once

#include "TPublishedDelta.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>

#include <optional>

#include <vector>

namespace packbuilder {

class TDeltaHistory;
class TObjectStore;

/// Computes the deltas of the new chunks of a build against the versions an output folder held
/// before: for every chunk of a file that an older version lacks, a delta against that version's
/// chunks around the same place, published when it is less than half the chunk's own object.
/// Deltas the documents already list are reused; the work runs on the global thread pool.
class TDeltaBuilder
{
public:
    /// A file of the new version assembled from chunks, with its source to read them from.
    struct TNewFile
    {
        QString localFile;
        QString sourcePath;
        std::vector<TPublishedLayout::TChunkRef> chunks;
    };

    struct TResult
    {
        /// By the raw SHA-256 of the chunk.
        QHash<QByteArray, std::vector<TPublishedDelta>> deltas;
        int written = 0;
        int reused = 0;
        quint64 bytesWritten = 0;
    };

    TDeltaBuilder(const TObjectStore& store, const TDeltaHistory& history, int level);

    /// packedSizes holds the size of each chunk's own object. Throws TPackBuildError when a
    /// delta can't be written; a version whose objects are gone just gets no deltas.
    TResult build(const std::vector<TNewFile>& files, const QHash<QByteArray, quint64>& packedSizes) const;

private:
    struct TJob
    {
        QByteArray chunkHash;
        quint64 chunkSize = 0;
        QString sourcePath;
        quint64 offset = 0;
        quint64 objectSize = 0;
        std::vector<QByteArray> from;
    };
    struct TJobResult
    {
        QByteArray chunkHash;
        std::optional<TPublishedDelta> delta;
        bool written = false;
        QString error;
    };

    void planFile(const TNewFile& file, const TPublishedLayout& version, const QHash<QByteArray, quint64>& packedSizes,
                  QSet<QByteArray>& planned, std::vector<TJob>& jobs, TResult& result) const;
    const TPublishedDelta* reusableDelta(const QByteArray& chunkHash, const std::vector<QByteArray>& from) const;
    TJobResult run(const TJob& job) const;
    QByteArray baseOf(const TJob& job) const;
    static QByteArray readSource(const TJob& job);

    const TObjectStore& m_store;
    const TDeltaHistory& m_history;
    int m_level;
};

} // namespace packbuilder
