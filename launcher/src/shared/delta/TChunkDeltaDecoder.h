#pragma once

#include <QByteArray>

namespace shared {

/// Rebuilds a chunk from its delta and the concatenated base chunks. Untrusted input: the copies
/// must stay inside base and chunk, and the frame must declare exactly the bytes between them,
/// ask for no larger window than base and middle need, and decode to exactly that size; memory
/// stays at the chunk plus the decoder's state.
class TChunkDeltaDecoder
{
public:
    /// Throws TChunkDeltaError when the delta can't produce chunkSize bytes from Base.
    static QByteArray decode(const QByteArray& delta, const QByteArray& base, quint64 chunkSize);
};

} // namespace shared
