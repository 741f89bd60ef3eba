#pragma once

#include <QByteArray>
#include <QUrl>

#include <vector>

class QJsonValue;

namespace orvan::launcher {

/// A smaller way to a chunk for a launcher that holds older chunks of the same file: the delta
/// object at url rebuilds the chunk from the concatenation of the chunks named in from.
struct TChunkDelta
{
    /// Raw SHA-256 of each base chunk, in the order they are concatenated.
    std::vector<QByteArray> from;
    QUrl url;
    quint64 size = 0;
    /// Raw SHA-256 of the delta object.
    QByteArray sha256;

    /// The well-formed entries of a chunk's "deltas" array; anything else is left out.
    static std::vector<TChunkDelta> listFromJson(const QJsonValue& value, const QUrl& baseUrl);
};

} // namespace orvan::launcher
