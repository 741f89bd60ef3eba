#pragma once

#include "ESelfUpdateMode.h"
#include "TChunkToDownload.h"
#include "TChunkedFileState.h"
#include "TPendingChunkStore.h"

#include "configuration/TFileSize.h"

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace shared {
class TFileSystemHelper;
} // namespace shared

namespace orvan::launcher {

class TChunkWriteLog;
struct TLauncherSettings;

/// Writes verified chunks into the target files of one run, each file front to back. Content whose
/// turn has not come is kept in the pending chunk store; a file is open only while it is written.
/// In the launcher's self-update each file is assembled beside its path and swapped in by finishRun once
/// the whole run succeeded. save runs on worker threads (several at once; the files' mutexes
/// serialise the work on one file); finishRun runs once no save is running.
class TTargetFileWriter
{
public:
    /// What every save of the run needs besides the job and its data.
    struct TContext
    {
        std::shared_ptr<const TLauncherSettings> settings;
        /// Deletes the old files of entries that are rewritten whole.
        std::shared_ptr<const shared::TFileSystemHelper> fileSystem;
        ESelfUpdateMode selfUpdateMode = ESelfUpdateMode::Off;
        QString installationDirectory;
    };
    /// Called on the worker thread after a chunk was written at one position.
    using TPositionWritten = std::function<void(const QUrl& url, TFileSize bytes)>;

    TTargetFileWriter(TContext context, std::vector<std::shared_ptr<TChunkedFileState>> files,
                      std::shared_ptr<TPendingChunkStore> pendingChunks, TPositionWritten positionWritten);

    /// Writes data, the verified content of job's chunk, at every position of job's target files
    /// that it can reach from the front, together with the held copies that follow it, and keeps
    /// data once when a file needs it later. Failures throw.
    void save(const TChunkToDownload& job, const QByteArray& data) const;

    /// Ends the run: closes the files a failed run left open, and in self-update mode swaps the
    /// assembled files in when runSucceeded, or removes them. False when a file was left with
    /// positions unwritten or the swap failed.
    bool finishRun(bool runSucceeded) const;

private:
    /// Where the content written at a position came from.
    enum class EContentSource
    {
        FreshDownload,
        HeldInMemory,
        HeldInTemporaryFile
    };

    void prepareTargetFile(TChunkedFileState& file) const;
    static void checkKeptChunks(const TChunkedFileState& file);
    static void prepareReplacement(TChunkedFileState& file);
    void removeOldFile(const TChunkedFileState& file) const;
    static void openTargetFile(TChunkedFileState& file);
    /// Closes a file that waits for a chunk, so that waiting files hold no descriptors.
    static void closeWhileWaiting(TChunkedFileState& file);
    /// Closes the file; a failed close is a failed write.
    static void closeTargetFile(TChunkedFileState& file);
    /// Keeps data as the held copy of job's content when the file still needs it further on.
    bool keepWhenNeededLater(const TChunkedFileState& file, const TChunkToDownload& job, const QByteArray& data) const;

    /// Writes the file's pending positions from the front as long as their content is at hand;
    /// true when the file is complete.
    bool writeAvailablePositions(TChunkedFileState& file, const TChunkToDownload& job, const QByteArray& data) const;
    /// The content of the chunk at the file's front position, or nothing while it is not at hand.
    std::optional<EContentSource> takeContent(const TChunkInPackage& chunk, const TChunkToDownload& job,
                                              const QByteArray& data, QByteArray& content) const;
    void writeFrontPosition(TChunkedFileState& file, const QByteArray& content, EContentSource source) const;
    /// Logs the write and, with the debug setting chunkVerification, records it in the write log.
    static void reportWrite(const TChunkedFileState& file, int position, const QByteArray& content,
                            EContentSource source, TChunkWriteLog* writeLog);
    void finishFile(TChunkedFileState& file) const;

    /// Files that the run left with positions unwritten.
    bool allFilesComplete() const;
    /// Self-update mode: swaps the assembled files in after a successful run, removes them after a
    /// failed one; false when the swap failed.
    bool swapInAssembledFiles(bool runSucceeded) const;

    TContext m_context;
    std::vector<std::shared_ptr<TChunkedFileState>> m_files;
    std::shared_ptr<TPendingChunkStore> m_pendingChunks;
    TPositionWritten m_positionWritten;
};

} // namespace orvan::launcher
