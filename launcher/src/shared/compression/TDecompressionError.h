#pragma once

#include <stdexcept>

namespace shared {

/// Thrown when data wrapped in a compressed container cannot be decoded.
class TDecompressionError : public std::runtime_error
{
public:
    TDecompressionError();
};

} // namespace shared
