#pragma once

#include "TFileToDownload.h"

#include "configuration/TChunkInPackage.h"
#include "configuration/TFilePatch.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QMutex>
#include <QString>

#include <vector>

namespace orvan::launcher {

/// One file that the package file downloader is building, shared by every chunk job that feeds
/// it. The mutex serialises all work on the file; the other fields are only touched under it,
/// except the ones copied from the file entry, which never change.
struct TChunkedFileState
{
    /// Copies the entry's fields; Path is its resolved path inside the installation directory.
    TChunkedFileState(const TFileToDownload& File, QString Path);
    TChunkedFileState(const TChunkedFileState&) = delete;
    TChunkedFileState& operator=(const TChunkedFileState&) = delete;

    QString localFile;
    quint64 unpackedSize = 0;
    QByteArray unpackedHash;
    bool executable = false;
    std::vector<TFilePatch> patches;
    std::vector<TChunkInPackage> chunks;

    QMutex mutex;
    /// Positions still to write, in write order.
    QList<int> pendingPositions;
    /// Set when the first chunk for the file has been handled.
    bool started = false;
    /// Open from the first write until the last position is written.
    QFile targetFile;

    /// The resolved path of localFile.
    QString path;
    /// Byte offset of every position of chunks.
    std::vector<quint64> offsets;

    bool isRewrittenWhole() const { return static_cast<std::size_t>(pendingPositions.size()) == chunks.size(); }
};

} // namespace orvan::launcher
