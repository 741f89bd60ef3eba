#pragma once

#include <cstddef>

namespace shared {

/// Decoder for ZPAQ level 1 and 2 streams (container id 6).
class TZpaqDecoder
{
public:
    /// Decodes the stream in input[0..inputSize) into output. On entry outputSize is the capacity;
    /// on success it holds the number of bytes produced: the data of all segments of all blocks.
    /// Returns false, and never throws, on null or empty arguments, a damaged or truncated stream,
    /// a program that faults or runs away, output beyond the capacity, or a SHA-1 mismatch.
    static bool decode(const unsigned char* input, std::size_t inputSize, unsigned char* output,
                       std::size_t& outputSize);
};

} // namespace shared
