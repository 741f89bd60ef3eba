#include "TChunkDeltaFormat.h"

namespace shared {

int TChunkDeltaFormat::windowLogFor(quint64 bytes)
{
    // zstd's smallest window is 1 KiB; 2^27 covers the largest base and chunk.
    int log = 10;
    while (log < 27 && (quint64(1) << log) < bytes)
        ++log;
    return log;
}

} // namespace shared
