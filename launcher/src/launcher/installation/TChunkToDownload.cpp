#include "TChunkToDownload.h"

#include <utility>

namespace orvan::launcher {

void TChunkToDownload::attachDelta(std::shared_ptr<TChunkDeltaSource> source)
{
    source->wholeChunk = chunk;
    chunk.url = source->delta.url;
    chunk.packedSize = source->delta.size;
    chunk.packedHash = source->delta.sha256;
    // The delta takes the decode step, which rebuilds the chunk from it.
    chunk.unpack = true;
    delta = std::move(source);
}

quint64 TChunkToDownload::detachDelta()
{
    const quint64 deltaSize = chunk.packedSize;
    chunk = delta->wholeChunk;
    // The whole chunk's URL is at the build's own location; requesting it moves it on if needed.
    location = 0;
    delta.reset();
    retryCount = 0;
    return deltaSize;
}

} // namespace orvan::launcher
