#pragma once

#include <QtGlobal>

namespace orvan::launcher {

/// What the scan of a local file found for one position of the file's chunk list.
struct TChunkReuseState
{
    enum EState : int
    {
        /// No local copy found: the chunk must be downloaded.
        Needed = 0,
        /// The chunk's content already lies at its own offset.
        InPlace = 1,
        /// The content lies at sourceOffset of the file (or of the temporary file once saved).
        Elsewhere = 2
    };

    int state = Needed;
    quint64 sourceOffset = 0;
    quint64 targetOffset = 0;
    quint64 length = 0;
    bool savedToTemporaryFile = false;
};

} // namespace orvan::launcher
