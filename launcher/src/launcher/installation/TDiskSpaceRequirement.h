#pragma once

#include "ESelfUpdateMode.h"
#include "TFileToDownload.h"

#include <QDir>

#include <vector>

namespace shared {
class TFileSystemHelper;
}

namespace orvan::launcher {

/// The bytes a download run takes on the file system of its installation directory at its peak:
/// what the files it writes grow by, the temporary files the downloader may keep for chunks that
/// arrive before the positions in front of them are written, and the scratch copies of local base
/// chunks that the run's deltas rebuild from.
class TDiskSpaceRequirement
{
public:
    /// How many held copies of chunks the downloader keeps in memory before it spills them to
    /// temporary files, and how much data it holds at most before it stops asking for more.
    struct THeldCopyLimits
    {
        /// maxCachedChunks of the settings: held copies beyond this number + 1 go to disk.
        int maxCachedChunks = 0;
        /// The downloader's byte bound on held copies, in memory and on disk together.
        quint64 maxHeldBytes = 0;
        /// Requests that may still arrive, and be held, once the byte bound is reached.
        int parallelDownloads = 1;
    };

    TDiskSpaceRequirement() = default;
    TDiskSpaceRequirement(quint64 fileBytes, quint64 temporaryBytes, quint64 scratchBytes = 0);

    /// The requirement of writing Files into Directory. A file written in place needs what it
    /// grows by; in self-update mode every file is assembled beside the old one, which stays,
    /// so its whole size counts. Reads the sizes of the present files (blocks briefly).
    static TDiskSpaceRequirement compute(const std::vector<TFileToDownload>& files, const QDir& directory,
                                         const ::shared::TFileSystemHelper& fileSystem, ESelfUpdateMode mode,
                                         const THeldCopyLimits& limits);
    /// The most the held copies of the chunks to download can take on disk at once.
    static quint64 temporaryBytesFor(const std::vector<TFileToDownload>& files, const THeldCopyLimits& limits);
    /// The bytes of the base chunks that the deltas of Files rebuild from, each store counted once.
    static quint64 scratchBytesFor(const std::vector<TFileToDownload>& files);

    quint64 fileBytes() const { return m_fileBytes; }
    quint64 temporaryBytes() const { return m_temporaryBytes; }
    /// The scan has written these already: they stay until the run ends, and the free space no
    /// longer shows them.
    quint64 scratchBytes() const { return m_scratchBytes; }
    quint64 totalBytes() const { return m_fileBytes + m_temporaryBytes + m_scratchBytes; }

private:
    quint64 m_fileBytes = 0;
    quint64 m_temporaryBytes = 0;
    quint64 m_scratchBytes = 0;
};

} // namespace orvan::launcher
