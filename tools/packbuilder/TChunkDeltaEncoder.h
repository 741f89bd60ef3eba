#pragma once

#include <QByteArray>

namespace packbuilder {

/// Writes the delta of a chunk against base data that a launcher already has: one zstd frame
/// that uses Base as its prefix, with long-distance matching and a window over base and chunk,
/// so that content that moved anywhere inside the base is found. Decoded by
/// shared::TChunkDeltaDecoder.
class TChunkDeltaEncoder
{
public:
    /// Throws TPackBuildError when zstd fails or Base or Chunk exceed the delta limits.
    static QByteArray encode(const QByteArray& base, const QByteArray& chunk, int level);
};

} // namespace packbuilder
