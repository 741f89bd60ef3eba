#pragma once

#include "TZpaqLimits.h"

#include <cstddef>

namespace shared {

/// Decodes a whole ZPAQ stream: finds each block (directly, or behind its 13-byte locator tag
/// after any other bytes), decodes it, and concatenates the data of all segments of all blocks.
class TZpaqStreamDecoder
{
public:
    explicit TZpaqStreamDecoder(const TZpaqLimits& limits = TZpaqLimits());

    /// Returns the number of bytes written to output; throws TZpaqFormatError (or std::bad_alloc)
    /// on any fault, including a stream without a single block.
    std::size_t decode(const unsigned char* input, std::size_t inputSize, unsigned char* output,
                       std::size_t capacity) const;

private:
    TZpaqLimits m_limits;
};

} // namespace shared
