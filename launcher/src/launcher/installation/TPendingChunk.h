#pragma once

#include <QByteArray>
#include <QTemporaryFile>

#include <memory>

namespace orvan::launcher {

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
    /// The held copy while state is InTemporaryFile; created when first needed and removed from
    /// the disk when destroyed.
    std::unique_ptr<QTemporaryFile> temporaryFile;
    /// Bytes in temporaryFile.
    quint64 temporaryFileSize = 0;
    int state = NotAvailable;
};

} // namespace orvan::launcher
