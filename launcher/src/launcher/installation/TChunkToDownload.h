#pragma once

#include "TChunkDeltaSource.h"
#include "TChunkedFileState.h"

#include "configuration/TChunkInPackage.h"

#include <memory>
#include <vector>

namespace orvan::launcher {

/// One download of the package file downloader: a distinct chunk URL and every file that needs
/// its content, each once, in the order the files were listed.
struct TChunkToDownload
{
    TChunkInPackage chunk;
    std::vector<std::shared_ptr<TChunkedFileState>> targetFiles;
    int retryCount = 0;
    /// Index in the run's TMirrorLocations of the location chunk.url currently points at.
    int location = 0;
    /// Set while the job fetches a delta instead of chunk (whose URL is then the delta's).
    std::shared_ptr<TChunkDeltaSource> delta;

    /// The URL of the chunk's own object, whatever the job fetches.
    const QUrl& contentUrl() const { return delta ? delta->wholeChunk.url : chunk.url; }
    /// Makes the job fetch Source's delta instead of the chunk (the job keeps the chunk's identity).
    void attachDelta(std::shared_ptr<TChunkDeltaSource> source);
    /// Makes the job fetch its whole chunk again; returns the delta's download size.
    quint64 detachDelta();
};

} // namespace orvan::launcher
