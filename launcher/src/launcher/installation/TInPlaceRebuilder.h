#pragma once

#include "TChunkReuseState.h"

#include <QFile>
#include <QString>

#include <memory>
#include <vector>

namespace orvan::launcher {

class TScratchFile;

/// Rebuilds a local file in place from the chunk data that the scan found in it: moves every chunk
/// found elsewhere in the file to its own offset and truncates the file to its new size. Source
/// ranges that a move would overwrite before they are read are first saved to a scratch file
/// without a name (in the file's own folder unless told otherwise), which no kill leaves behind.
class TInPlaceRebuilder
{
public:
    TInPlaceRebuilder(QString path, quint64 fileSize);
    ~TInPlaceRebuilder();
    TInPlaceRebuilder(const TInPlaceRebuilder&) = delete;
    TInPlaceRebuilder& operator=(const TInPlaceRebuilder&) = delete;

    /// Leaves the file untouched: chunks found elsewhere in it and a tail beyond the new size are
    /// left to the download instead of being moved or cut in place.
    void downloadWhatIsNotInPlace() { m_leaveFileUntouched = true; }
    /// Refuses to write to the file when it or a folder between Base and it is a symbolic link.
    void refuseLinksBelow(const QString& base) { m_base = base; }
    /// Saved source ranges go to the file system of Directory.
    void keepScratchIn(const QString& directory) { m_scratchDirectory = directory; }

    /// Works through States in position order; the positions still needed are appended to
    /// chunksToDownload. Returns false when a read, write, seek or truncation failed: the file's
    /// content is then unknown and it must be fetched whole.
    bool rebuild(std::vector<TChunkReuseState>& states, std::vector<qint32>& chunksToDownload);

private:
    bool openFile();
    bool openScratchFile();
    /// Saves the source ranges of later pending moves that the move of States[Position] would
    /// overwrite.
    bool protectPendingSources(std::vector<TChunkReuseState>& states, std::size_t position);
    bool moveChunk(TChunkReuseState& state);
    /// Copies Length bytes between two offsets; within one file it behaves like memmove.
    bool copyRange(QFile& from, quint64 fromOffset, QFile& to, quint64 toOffset, quint64 length);
    bool copyPiece(QFile& from, quint64 fromOffset, QFile& to, quint64 toOffset, quint64 length);
    bool truncate();

    bool rebuildByDownload(std::vector<TChunkReuseState>& states, std::vector<qint32>& chunksToDownload) const;

    QString m_path;
    quint64 m_fileSize;
    bool m_leaveFileUntouched = false;
    QString m_base;
    QString m_scratchDirectory;
    QFile m_file;
    std::unique_ptr<TScratchFile> m_scratchFile;
    quint64 m_temporaryOffset = 0;
    std::vector<char> m_buffer;
};

} // namespace orvan::launcher
