#pragma once

#include <stdexcept>
#include <string>

namespace shared {

/// Raised inside the ZPAQ decoder when a stream breaks the format or exceeds a resource limit.
/// It never leaves TZpaqDecoder::decode, which turns it into a false result.
class TZpaqFormatError : public std::runtime_error
{
public:
    explicit TZpaqFormatError(const std::string& reason);
};

} // namespace shared
