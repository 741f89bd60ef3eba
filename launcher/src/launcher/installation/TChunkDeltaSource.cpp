#include "TChunkDeltaSource.h"

#include "TChunkToDownload.h"

#include <utility>

namespace orvan::launcher {

void TChunkDeltaSource::attachTo(TChunkToDownload& job, std::shared_ptr<TChunkDeltaSource> source)
{
    source->wholeChunk = job.chunk;
    job.chunk.url = source->delta.url;
    job.chunk.packedSize = source->delta.size;
    job.chunk.packedHash = source->delta.sha256;
    // The delta takes the decode step, which rebuilds the chunk from it.
    job.chunk.unpack = true;
    job.delta = std::move(source);
}

quint64 TChunkDeltaSource::detachFrom(TChunkToDownload& job)
{
    const quint64 deltaSize = job.chunk.packedSize;
    job.chunk = job.delta->wholeChunk;
    // The whole chunk's URL is at the build's own location; requesting it moves it on if needed.
    job.location = 0;
    job.delta.reset();
    job.retryCount = 0;
    return deltaSize;
}

} // namespace orvan::launcher
