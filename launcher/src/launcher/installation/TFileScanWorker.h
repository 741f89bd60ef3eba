#pragma once

#include "TFileHashReader.h"
#include "TFileToDownload.h"

#include "chunking/TFileChunkScanner.h"
#include "configuration/TFileInPackageVector.h"

#include <QString>

#include <vector>

namespace orvan::launcher {

class TBlockMatcher;
class TScanContext;

/// What one scanning task found: the files it handled that need downloads (in the order it
/// handled them) and the files it could find no usable source for.
struct TScanTaskResult
{
    std::vector<TFileToDownload> filesToDownload;
    TFileInPackageVector filesWithInvalidPackageData;
};

/// One scanning task of a difference computation: takes files from the shared work list until it
/// is empty and decides for each what must be downloaded, reusing local data in place. Keeps one
/// chunk scanner and one read buffer for all its files.
class TFileScanWorker
{
public:
    explicit TFileScanWorker(TScanContext& context);
    TFileScanWorker(const TFileScanWorker&) = delete;
    TFileScanWorker& operator=(const TFileScanWorker&) = delete;

    TScanTaskResult run();

private:
    void processFile(const TFileInPackage& file, const QString& path, TScanTaskResult& result);
    /// The file is one object (at most one chunk): compares size and SHA-256 of the local copy.
    void checkWholeFile(const TFileInPackage& file, const QString& path, TFileToDownload& entry,
                        TScanTaskResult& result);
    /// The file is assembled from several chunks: finds them in the local copy and moves them.
    void scanChunks(const TFileInPackage& file, const QString& path, TFileToDownload& entry, TScanTaskResult& result);
    /// Feeds the blocks of the local copy to Matcher; false when reading failed part way.
    bool feedBlocks(const TFileInPackage& file, const QString& path, TBlockMatcher& matcher);
    /// The installed entry's chunks, when the fast scan may take them instead of reading the file.
    bool fastScanBlocks(const TFileInPackage& file, const QString& path, std::vector<TChunkInPackage>& blocks) const;
    /// True when the fast scan may take an unchanged whole file as it is, without reading it: the
    /// installed entry has the offered size and hash, and the local copy has that size.
    bool fastScanTrustsWholeFile(const TFileInPackage& file, const QString& path) const;
    /// The installed configuration's entry for File; null when there is none or the fast scan is off.
    const TFileInPackage* installedEntry(const TFileInPackage& file) const;
    static bool holdsInstalledSize(const TFileInPackage& installed, const QString& path);
    /// Deletes the local copy and fetches the file whole, or reports it when nothing can fetch it.
    void replaceWholeFile(const TFileInPackage& file, const QString& path, TFileToDownload& entry,
                          TScanTaskResult& result);
    /// The fallback after an unexpected failure: the file is fetched without looking at its local copy.
    void downloadWithoutReuse(const TFileInPackage& file, const QString& path, TScanTaskResult& result);
    static bool canBeFetched(const TFileToDownload& entry);

    TScanContext& m_context;
    shared::TFileChunkScanner m_chunkScanner;
    TFileHashReader m_hashReader;
};

} // namespace orvan::launcher
