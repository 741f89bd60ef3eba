#pragma once

#include <cstddef>
#include <cstdint>
#include <limits>

namespace shared {

/// Finds the cut points of the gear-hash content-defined chunking, as a state machine without I/O:
/// feed it the bytes of a stream in pieces of any size and it reports where each chunk ends.
///
/// A chunk is at least MinimumChunkSize bytes long (except the last of a stream) and at most
/// MaximumChunkSize. The hash starts at zero MinimumChunkSize bytes into each chunk, so the first
/// bytes of a chunk never influence its end, and a chunk ends after the first byte that leaves the
/// low 22 bits of the hash zero. The cut points depend only on the stream's bytes, never on how
/// they are split across calls of feed().
class TContentDefinedChunker
{
public:
    static constexpr std::uint64_t MinimumChunkSize = 4 * 1024 * 1024;
    static constexpr std::uint64_t MaximumChunkSize = 16 * 1024 * 1024;
    static constexpr std::uint32_t CutMask = 0x3FFFFF;
    static constexpr std::size_t NoCut = std::numeric_limits<std::size_t>::max();

    /// Feeds the next size bytes of the stream. When the current chunk ends inside them, returns how
    /// many of them belong to it (1..size) and starts the next chunk after them; the caller feeds the
    /// rest again. Returns NoCut when all of them belong to the still open chunk.
    std::size_t feed(const unsigned char* data, std::size_t size);

    /// Ends the stream: returns the length of the open chunk (0 when there is none), which is the
    /// stream's last chunk, and starts over.
    std::uint64_t finish();

    /// Bytes fed into the open chunk so far.
    std::uint64_t pendingSize() const { return m_pendingSize; }

    void reset();

private:
    std::uint64_t m_pendingSize = 0;
    std::uint32_t m_hash = 0;
};

} // namespace shared
