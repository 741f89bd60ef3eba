#pragma once

#include <QByteArray>

namespace shared {

/// Rebuilds a chunk from its delta and the concatenated base chunks. Untrusted input: the frame
/// must declare exactly the expected chunk size, ask for no larger window than base and chunk
/// need, and decode to exactly that size; memory stays at the chunk plus the decoder's state.
class TChunkDeltaDecoder
{
public:
    /// Throws TChunkDeltaError when the delta can't produce chunkSize bytes from Base.
    static QByteArray decode(const QByteArray& delta, const QByteArray& base, quint64 chunkSize);
};

} // namespace shared
