#pragma once

#include <QByteArray>

namespace packbuilder {

/// Writes the delta of a chunk against base data that a launcher already has: the chunk's first
/// and last bytes as copies from where they continue longest in Base, the rest as one zstd frame
/// that uses Base as its prefix, with long-distance matching and a window over base and middle,
/// so that content that moved anywhere inside the base is found. Decoded by
/// shared::TChunkDeltaDecoder.
class TChunkDeltaEncoder
{
public:
    /// Throws TPackBuildError when zstd fails or Base or Chunk exceed the delta limits.
    static QByteArray encode(const QByteArray& base, const QByteArray& chunk, int level);
};

} // namespace packbuilder
