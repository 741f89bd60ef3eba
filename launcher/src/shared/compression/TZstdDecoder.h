#pragma once

#include <cstddef>
#include <cstdint>

namespace shared {

/// Decodes the payload of a zstd container: exactly one zstd frame, decoded in one pass straight
/// into the caller's buffer. The buffer is the frame's whole window, so no further memory grows
/// with the input; a frame whose header asks for more than the chunk could need is refused.
class TZstdDecoder
{
public:
    /// The smallest window a frame may always ask for, so that frames of common encoders for small
    /// chunks still decode.
    static constexpr unsigned MinWindowLog = 20;

    /// Same contract as TDecompressor::unpack. Fails for anything but one complete frame (no
    /// skippable frames, nothing after the frame), a content size in the frame header other than
    /// the capacity, a window above maxWindowSize(capacity), output beyond the capacity, and
    /// corrupt data or a wrong checksum.
    static bool decode(const std::uint8_t* payload, std::size_t payloadLength, std::uint8_t* output,
                       std::size_t& outputLength);

    /// The largest window accepted for a chunk of the given size: the smallest power of two that
    /// holds the chunk, at least 2^MinWindowLog.
    static std::uint64_t maxWindowSize(std::size_t capacity);

private:
    /// The window size the frame header at frame[0..length) asks for, or 0 when the header is not
    /// a complete zstd frame header.
    static std::uint64_t windowSize(const std::uint8_t* frame, std::size_t length);
};

} // namespace shared
