#pragma once

#include <QByteArray>
#include <QString>

#include <vector>

namespace packbuilder {

/// One delta of a chunk as a package document lists it: the chunk rebuilt from the concatenation
/// of the "from" chunks (raw SHA-256 of each, in order) and the delta object at url.
struct TPublishedDelta
{
    std::vector<QByteArray> from;
    /// Relative to the output folder.
    QString url;
    quint64 size = 0;
    /// Raw SHA-256 of the delta object.
    QByteArray sha256;
};

/// One published version as deltas need it: the chunk list of each file assembled from chunks.
struct TPublishedLayout
{
    struct TChunkRef
    {
        QByteArray hash;
        quint64 size = 0;
    };

    QString version;
    /// By localFile; files published as one object are not listed.
    std::vector<std::pair<QString, std::vector<TChunkRef>>> files;

    const std::vector<TChunkRef>* chunksOf(const QString& localFile) const;
};

} // namespace packbuilder
