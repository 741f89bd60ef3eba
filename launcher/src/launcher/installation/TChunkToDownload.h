#pragma once

#include "TChunkedFileState.h"

#include "configuration/TChunkInPackage.h"

#include <QString>

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
    /// chunk.url.toString(): the key the job lists are sorted and searched by.
    QString urlText;
};

} // namespace orvan::launcher
