#pragma once

#include <QByteArray>

#include <memory>

namespace orvan::launcher {

class TScratchFile;

/// The held copy of one chunk content (keyed by its unpacked hash) that arrived before the
/// positions in front of it could be written. Guarded by the downloader's pending-chunks mutex.
struct TPendingChunk
{
    enum EState : int
    {
        NotAvailable = 0,
        InMemory = 1,
        InTemporaryFile = 2
    };

    /// File positions, over all files, that still have to be written with this content.
    int remainingUses = 0;
    /// The held copy while state is InMemory.
    QByteArray data;
    /// The held copy while state is InTemporaryFile: a file without a name, gone with its last
    /// owner. Shared so that a reader keeps it open outside the mutex.
    std::shared_ptr<const TScratchFile> temporaryFile;
    /// Bytes in temporaryFile.
    quint64 temporaryFileSize = 0;
    int state = NotAvailable;
};

} // namespace orvan::launcher
