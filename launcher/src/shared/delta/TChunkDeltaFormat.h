#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace shared {

/// The layout and limits both ends of a chunk delta hold to. A delta copies the chunk's first and
/// last bytes from ranges of the base (the concatenation of its base chunks) and carries the rest
/// as one zstd frame whose prefix is the base; the frame's window covers base and middle, so that
/// a match may reach back to the start of the base. Layout, integers little-endian:
///
///     "QCD1"  head base offset (u32)  head length (u32)  tail base offset (u32)  tail length (u32)
///     zstd frame of the chunk's middle bytes, declaring their count
///
/// An edit of a few bytes so costs the edit and a header, not a block structure over the whole
/// chunk.
struct TChunkDeltaFormat
{
    /// The most base data a delta may reference, and so the most a launcher holds to rebuild one.
    static constexpr quint64 MaxBaseBytes = 48ull * 1024 * 1024;
    /// The largest chunk a delta may rebuild: the largest content-defined chunk.
    static constexpr quint64 MaxChunkBytes = 16ull * 1024 * 1024;
    /// Level 19 takes twenty times as long as 12 for deltas a few per cent smaller.
    static constexpr int DefaultLevel = 12;
    static constexpr int HeaderBytes = 20;

    /// A byte range of the base that is copied into the chunk.
    struct TCopy
    {
        quint32 baseOffset = 0;
        quint32 length = 0;
    };

    struct THeader
    {
        TCopy head;
        TCopy tail;
    };

    static QByteArray writeHeader(const THeader& header);
    /// The header at the front of Delta; throws TChunkDeltaError when it is missing or its copies
    /// leave the base or the chunk.
    static THeader readHeader(const QByteArray& delta, quint64 baseSize, quint64 chunkSize);

    /// The window log that covers Bytes (base and middle together): the smallest power of two not
    /// below it, within zstd's bounds.
    static int windowLogFor(quint64 bytes);
};

} // namespace shared
