#pragma once

#include <QString>

#include <stdexcept>

namespace shared {

/// A file could not be opened or read while it was being cut into chunks.
class TChunkingError : public std::runtime_error
{
public:
    TChunkingError(const QString& path, const QString& reason);
};

} // namespace shared
