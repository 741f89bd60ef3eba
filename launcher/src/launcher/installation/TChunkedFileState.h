#pragma once

#include "TFileToDownload.h"

#include "configuration/TChunkInPackage.h"
#include "configuration/TFilePatch.h"

#include <QByteArray>
#include <QFile>
#include <QList>
#include <QMutex>
#include <QString>

#include <memory>
#include <vector>

namespace orvan::launcher {

/// One file that the package file downloader is building, shared by every chunk job that feeds
/// it. The mutex serialises all work on the file; the other fields are only touched under it,
/// except the ones copied from the file entry, which never change.
struct TChunkedFileState
{
    /// Takes the entry's fields; Path is its resolved path inside the installation directory.
    TChunkedFileState(TFileToDownload file, QString path);
    TChunkedFileState(const TChunkedFileState&) = delete;
    TChunkedFileState& operator=(const TChunkedFileState&) = delete;

    QString localFile;
    quint64 unpackedSize = 0;
    QByteArray unpackedHash;
    bool executable = false;
    std::vector<TFilePatch> patches;
    std::vector<TChunkInPackage> chunks;
    std::map<qint32, std::shared_ptr<TChunkDeltaSource>> deltaSources;

    QMutex mutex;
    /// Positions still to write, in write order.
    QList<int> pendingPositions;
    /// Set when the first chunk for the file has been handled.
    bool started = false;
    /// Exists and is open while positions are being written; closed and dropped between save
    /// steps, so that files waiting for a chunk hold no descriptor and, in runs of many small
    /// files, no file object either.
    std::unique_ptr<QFile> targetFile;
    /// Where the next write continues after the file was closed and opened again.
    qint64 resumeOffset = 0;
    /// Set once the write log was restarted for this run.
    bool writeLogStarted = false;

    /// The resolved path of localFile.
    QString path;
    /// Where the content is assembled: the path itself, or a name beside it that replaces the
    /// path once the whole run succeeded.
    QString writePath;
    /// Byte offset of every position of chunks.
    std::vector<quint64> offsets;

    bool isRewrittenWhole() const { return static_cast<std::size_t>(pendingPositions.size()) == chunks.size(); }
};

} // namespace orvan::launcher
