#pragma once

#include <QString>

#include <stdexcept>

namespace shared {

/// A chunk delta could not be rebuilt: malformed, not made for the given base, or over the limits.
class TChunkDeltaError : public std::runtime_error
{
public:
    explicit TChunkDeltaError(const QString& reason);
};

} // namespace shared
