#pragma once

#include <QByteArray>

#include <cstdint>

namespace shared {

/// One piece of a file cut by the content-defined chunking: where it lies and the raw 32-byte
/// SHA-256 of its bytes, comparable with a chunk's unpacked hash.
struct TChunkPiece
{
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    QByteArray sha256;

    bool operator==(const TChunkPiece& other) const
    {
        return offset == other.offset && size == other.size && sha256 == other.sha256;
    }
    bool operator!=(const TChunkPiece& other) const { return !(*this == other); }
};

} // namespace shared
