#pragma once

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
};

} // namespace orvan::launcher
