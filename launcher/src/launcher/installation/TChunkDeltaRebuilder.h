#pragma once

#include <QByteArray>

#include <optional>

namespace orvan::launcher {

struct TChunkToDownload;

/// The decode step of a job that fetched a delta: checks the delta object, reads the base chunks
/// kept for it, rebuilds the chunk and checks the chunk's SHA-256. Holds at most the base, the
/// delta and the chunk in memory.
class TChunkDeltaRebuilder
{
public:
    /// The chunk, or nothing with the reason left in the job's delta source: the caller then
    /// fetches the whole chunk.
    static std::optional<QByteArray> rebuild(const TChunkToDownload& job, const QByteArray& delta);
};

} // namespace orvan::launcher
