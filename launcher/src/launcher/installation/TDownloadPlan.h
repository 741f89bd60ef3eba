#pragma once

#include "TChunkToDownload.h"
#include "TChunkedFileState.h"

#include <QString>

#include <memory>
#include <vector>

namespace orvan::launcher {

/// What the package file downloader does in one run: the files it builds, the downloads that feed
/// them, and the file entries it refuses to touch.
struct TDownloadPlan
{
    /// Why a file entry is not built.
    enum class ERefusal
    {
        PathNamesDirectory,
        ChunkSizesOverflow,
        ChunkSizesDontAddUp,
        PositionsOutsideChunkList,
        PathTakenByAnotherFile
    };

    struct TRefusedFile
    {
        QString localFile;
        ERefusal reason = ERefusal::PathNamesDirectory;
    };

    /// One state per accepted file, in list order.
    std::vector<std::shared_ptr<TChunkedFileState>> files;
    /// One job per distinct chunk URL, in download order.
    std::vector<TChunkToDownload> jobs;
    /// In list order.
    std::vector<TRefusedFile> refusedFiles;
};

} // namespace orvan::launcher
