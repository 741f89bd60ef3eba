#pragma once

#include <QtGlobal>

namespace shared {

/// The limits both ends of a chunk delta hold to. A delta is one zstd frame whose prefix is the
/// concatenation of its base chunks; its window covers base and chunk, so that a match may reach
/// back to the start of the base.
struct TChunkDeltaFormat
{
    /// The most base data a delta may reference, and so the most a launcher holds to rebuild one.
    static constexpr quint64 MaxBaseBytes = 48ull * 1024 * 1024;
    /// The largest chunk a delta may rebuild: the largest content-defined chunk.
    static constexpr quint64 MaxChunkBytes = 16ull * 1024 * 1024;
    /// Level 19 takes twenty times as long as 12 for deltas a few per cent smaller.
    static constexpr int DefaultLevel = 12;

    /// The window log that covers Bytes (base and chunk together): the smallest power of two not
    /// below it, within zstd's bounds.
    static int windowLogFor(quint64 bytes);
};

} // namespace shared
