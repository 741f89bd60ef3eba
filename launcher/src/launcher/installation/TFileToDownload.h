#pragma once

#include "configuration/TChunkInPackage.h"
#include "configuration/TFileInPackage.h"
#include "configuration/TFilePatch.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <map>
#include <memory>
#include <vector>

namespace orvan::launcher {

struct TChunkDeltaSource;

/// One file that the downloader must (re)build: its complete chunk list in file order and the
/// positions in it whose data is not on disk yet. Every other position already holds its chunk.
struct TFileToDownload
{
    QString localFile;
    quint64 unpackedSize = 0;
    QByteArray unpackedHash;
    bool executable = false;
    std::vector<TFilePatch> patches;
    /// The byte offset of element n is the sum of unpackedSize of elements 0 to n-1.
    std::vector<TChunkInPackage> chunks;
    /// Positions in chunks (not indices into the configuration's chunk list), ascending.
    std::vector<qint32> chunksToDownload;
    /// Positions of chunksToDownload that are fetched as a delta of chunks kept from the local file.
    std::map<qint32, std::shared_ptr<TChunkDeltaSource>> deltaSources;

    /// The file's fields with chunks taken from Chunks through the file's chunk indices, which the
    /// caller has checked to lie inside Chunks; nothing to download yet.
    static TFileToDownload fromFile(const TFileInPackage& file, const std::vector<TChunkInPackage>& chunks);

    /// Turns the entry into a download of the whole file: the file's own download object when it
    /// has one (patches then don't apply), otherwise every chunk position.
    void downloadEverything(const TFileInPackage& file);

    /// Byte offset of every position in chunks.
    std::vector<quint64> chunkOffsets() const { return offsetsOf(chunks); }
    /// Byte offset of every position in a chunk list of a file.
    static std::vector<quint64> offsetsOf(const std::vector<TChunkInPackage>& chunks);

    /// Moves every entry of Files, in order, into the list the downloader takes, without copying
    /// their chunk lists; Files is left empty.
    static QList<TFileToDownload> takeAsList(std::vector<TFileToDownload>& files);
};

} // namespace orvan::launcher
