#pragma once

#include "TPendingChunk.h"

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QString>

#include <memory>

namespace orvan::launcher {

/// The package file downloader's held copies of chunks that arrived before the positions in front
/// of them could be written, keyed by unpacked hash. Up to maxCachedChunks + 1 copies, and no more
/// than maxHeldBytes() bytes, are kept in memory, the rest in scratch files without a name, which
/// vanish with the process however it ends. Thread-safe; the mutex is never held
/// while a file is read or written, so it may be taken while a file's own mutex is held (never the other way).
class TPendingChunkStore
{
public:
    /// How a position's content was obtained by takeForWrite.
    enum class ESource
    {
        Missing,
        Memory,
        TemporaryFile
    };

    /// Bytes of held copies kept in memory at most, unless a copy is alone there.
    static constexpr quint64 DefaultMaxHeldBytes = 256ull * 1024 * 1024;
    static const QString temporaryFilePrefix;

    /// Forgets every entry and removes the temporary files.
    void clear();
    /// Temporary files go to the file system of Directory (created when missing), so that they
    /// use the disk the package is written to rather than a memory-backed temporary folder.
    /// Removes the named temporary files that launchers of earlier versions left there.
    void setTemporaryDirectory(const QString& directory);
    void setMaxHeldBytes(quint64 bytes);
    quint64 maxHeldBytes() const;
    /// Counts one more file position that needs the content with this hash.
    void addUse(const QByteArray& hash);
    /// The held copy of Hash for one write, or ESource::Missing when none is held yet. Throws the
    /// I/O error when the temporary file can't be read or holds fewer than expectedSize bytes.
    ESource takeForWrite(const QByteArray& hash, quint64 expectedSize, QByteArray& data) const;
    /// One position that needed Hash has been written: the held copy goes with the last use.
    void releaseUse(const QByteArray& hash);
    /// Keeps Data as the held copy of Hash unless one is held already; in memory while at most
    /// maxCachedChunks copies are, else in a temporary file. Throws std::runtime_error
    /// "couldn't find pending chunk" when Hash has no entry, the I/O error when the temporary
    /// file can't be written.
    void storeHeldCopy(const QByteArray& hash, const QByteArray& data, int maxCachedChunks);

    int inMemoryChunkCount() const;
    quint64 inMemoryBytes() const;
    int temporaryFileCount() const;
    /// Whether the held copies, in memory and in temporary files together, have reached maxHeldBytes(): the
    /// downloader then stops asking for chunks that would only be held too.
    bool isByteBoundReached() const;
    bool isEmpty() const;

private:
    std::shared_ptr<const TScratchFile> writeTemporaryFile(const QByteArray& data) const;

    mutable QMutex m_mutex;
    QHash<QByteArray, std::shared_ptr<TPendingChunk>> m_pendingChunks;
    int m_inMemoryChunkCount = 0;
    quint64 m_inMemoryBytes = 0;
    quint64 m_temporaryFileBytes = 0;
    quint64 m_maxHeldBytes = DefaultMaxHeldBytes;
    /// Set before a run starts; read by the save steps without the mutex.
    QString m_temporaryDirectory;
};

} // namespace orvan::launcher
