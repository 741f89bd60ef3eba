#pragma once

#include "TChunkToDownload.h"
#include "TChunkedFileState.h"

#include <QString>

#include <algorithm>
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

    /// Whether the steps of Job are logged one by one: jobs that feed a file of several chunks are.
    /// A job that feeds only files of one chunk logs the end of its save (and any failure), so that
    /// a run of many small files keeps a short log.
    static bool logsEachStep(const TChunkToDownload& job)
    {
        // The chunk lists are copied from the file entries and never change: no lock needed.
        return std::any_of(job.targetFiles.begin(), job.targetFiles.end(),
                           [](const auto& file) { return file->chunks.size() > 1; });
    }
};

} // namespace orvan::launcher
