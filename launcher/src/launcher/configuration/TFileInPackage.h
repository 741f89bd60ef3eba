#pragma once

#include "TChunkInPackage.h"
#include "TFilePatch.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <vector>

class QJsonObject;

namespace orvan::launcher {

/// One installed file of a package: its final size and hash, and either the chunks it is
/// assembled from (indices into the configuration's chunk list) or a whole-file download.
struct TFileInPackage
{
    /// Path relative to the installation directory with "/" separators, as written in the
    /// document; it is confined to the directory only when turned into a file path.
    QString localFile;
    quint64 unpackedSize = 0;
    QByteArray unpackedHash;
    bool executable = false;
    std::vector<TFilePatch> patches;
    /// Indices into the combined chunk list as written; an entry that is not a whole number in
    /// the signed 32-bit range is kept as -1, so it never passes the range check.
    std::vector<qint32> chunkIndices;
    TChunkInPackage download;

    static TFileInPackage fromJson(const QJsonObject& object, const QUrl& baseUrl);

    /// True when every chunk index refers into a chunk list of chunkCount entries. A file that
    /// fails this is invalid package data: its chunks can't be used.
    bool hasValidChunkIndices(std::size_t chunkCount) const;
    /// True when the file has a whole-file download object of its own.
    bool hasWholeFileDownload() const { return !download.url.isEmpty(); }
};

} // namespace orvan::launcher
