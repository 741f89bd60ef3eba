#pragma once

#include "TChunkDelta.h"

#include <QByteArray>
#include <QUrl>

#include <vector>

class QJsonObject;

namespace orvan::launcher {

/// One download object of a package: a chunk of one or more files, or a whole file.
struct TChunkInPackage
{
    QUrl url;
    quint64 packedSize = 0;
    QByteArray packedHash;
    quint64 unpackedSize = 0;
    /// Raw SHA-256 of the decompressed bytes.
    QByteArray unpackedHash;
    /// The downloaded bytes are a compressed container to be decoded before the hash check.
    bool unpack = true;
    /// Optional deltas from older chunks of the same file ("deltas"); the chunk's identity, and
    /// so the comparison of chunks, does not depend on them.
    std::vector<TChunkDelta> deltas;

    /// Reads the chunk keys of a chunk or file object; relative URLs are resolved against baseUrl
    /// and an empty "url" leaves url empty.
    static TChunkInPackage fromJson(const QJsonObject& object, const QUrl& baseUrl);

    bool operator==(const TChunkInPackage& other) const;
    bool operator!=(const TChunkInPackage& other) const { return !(*this == other); }
};

} // namespace orvan::launcher
