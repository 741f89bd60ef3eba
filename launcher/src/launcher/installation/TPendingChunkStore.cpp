#include "TPendingChunkStore.h"

#include "TScratchFile.h"

#include "filesystemhelper/TFileIoError.h"

#include <QDir>
#include <QFile>

#include <stdexcept>

namespace orvan::launcher {

using shared::TFileIoError;

const QString TPendingChunkStore::temporaryFilePrefix = QStringLiteral(".pending-chunk-");

void TPendingChunkStore::clear()
{
    QHash<QByteArray, std::shared_ptr<TPendingChunk>> dropped;
    {
        const QMutexLocker lock(&m_mutex);
        dropped.swap(m_pendingChunks);
        m_inMemoryChunkCount = 0;
        m_inMemoryBytes = 0;
        m_temporaryFileBytes = 0;
    }
}

void TPendingChunkStore::setTemporaryDirectory(const QString& directory)
{
    m_temporaryDirectory = directory;
    const QDir folder(directory);
    const QStringList leftovers =
        folder.entryList({temporaryFilePrefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& leftover : leftovers)
        QFile::remove(folder.filePath(leftover));
}

void TPendingChunkStore::setMaxHeldBytes(quint64 bytes)
{
    const QMutexLocker lock(&m_mutex);
    m_maxHeldBytes = bytes;
}

quint64 TPendingChunkStore::maxHeldBytes() const
{
    const QMutexLocker lock(&m_mutex);
    return m_maxHeldBytes;
}

void TPendingChunkStore::addUse(const QByteArray& hash)
{
    const QMutexLocker lock(&m_mutex);
    std::shared_ptr<TPendingChunk>& entry = m_pendingChunks[hash];
    if (!entry)
        entry = std::make_shared<TPendingChunk>();
    ++entry->remainingUses;
}

TPendingChunkStore::ESource TPendingChunkStore::takeForWrite(const QByteArray& hash, quint64 expectedSize,
                                                             QByteArray& data) const
{
    std::shared_ptr<const TScratchFile> file;
    quint64 size = 0;
    {
        const QMutexLocker lock(&m_mutex);
        const auto found = m_pendingChunks.constFind(hash);
        if (found == m_pendingChunks.constEnd() || found.value()->state == TPendingChunk::NotAvailable)
            return ESource::Missing;
        if (found.value()->state == TPendingChunk::InMemory) {
            data = found.value()->data;
            return ESource::Memory;
        }
        file = found.value()->temporaryFile;
        size = found.value()->temporaryFileSize;
    }
    // Read at an offset: several files may read the same held copy at once.
    data = file->readAt(0, size);
    if (static_cast<quint64>(data.size()) < expectedSize)
        throw TFileIoError(file->directory(), QStringLiteral("couldn't read chunk file"));
    return ESource::TemporaryFile;
}

void TPendingChunkStore::releaseUse(const QByteArray& hash)
{
    std::shared_ptr<TPendingChunk> dropped;
    const QMutexLocker lock(&m_mutex);
    const auto found = m_pendingChunks.find(hash);
    if (found == m_pendingChunks.end() || --found.value()->remainingUses > 0)
        return;
    dropped = found.value();
    if (dropped->state == TPendingChunk::InMemory) {
        --m_inMemoryChunkCount;
        m_inMemoryBytes -= static_cast<quint64>(dropped->data.size());
    }
    m_temporaryFileBytes -= dropped->temporaryFileSize;
    m_pendingChunks.erase(found);
}

void TPendingChunkStore::storeHeldCopy(const QByteArray& hash, const QByteArray& data, int maxCachedChunks)
{
    {
        const QMutexLocker lock(&m_mutex);
        const auto found = m_pendingChunks.find(hash);
        if (found == m_pendingChunks.end())
            throw std::runtime_error("couldn't find pending chunk");
        if (found.value()->state != TPendingChunk::NotAvailable)
            return;
        const auto size = static_cast<quint64>(data.size());
        const bool fits = m_inMemoryChunkCount == 0 || m_inMemoryBytes + size <= m_maxHeldBytes;
        if (m_inMemoryChunkCount <= maxCachedChunks && fits) {
            ++m_inMemoryChunkCount;
            m_inMemoryBytes += size;
            found.value()->data = data;
            found.value()->state = TPendingChunk::InMemory;
            return;
        }
    }
    std::shared_ptr<const TScratchFile> file = writeTemporaryFile(data);
    const QMutexLocker lock(&m_mutex);
    const auto found = m_pendingChunks.find(hash);
    if (found == m_pendingChunks.end() || found.value()->state != TPendingChunk::NotAvailable)
        return;
    found.value()->temporaryFile = std::move(file);
    found.value()->temporaryFileSize = static_cast<quint64>(data.size());
    found.value()->state = TPendingChunk::InTemporaryFile;
    m_temporaryFileBytes += found.value()->temporaryFileSize;
}

std::shared_ptr<const TScratchFile> TPendingChunkStore::writeTemporaryFile(const QByteArray& data) const
{
    const QString directory = m_temporaryDirectory.isEmpty() ? QDir::tempPath() : m_temporaryDirectory;
    QDir().mkpath(directory);
    auto file = std::make_shared<TScratchFile>(directory);
    if (!file->isOpen())
        throw TFileIoError(directory, QStringLiteral("couldn't open chunk file"));
    if (file->file().write(data) != data.size())
        throw TFileIoError(directory, QStringLiteral("couldn't write chunk file"));
    return file;
}

int TPendingChunkStore::inMemoryChunkCount() const
{
    const QMutexLocker lock(&m_mutex);
    return m_inMemoryChunkCount;
}

quint64 TPendingChunkStore::inMemoryBytes() const
{
    const QMutexLocker lock(&m_mutex);
    return m_inMemoryBytes;
}

bool TPendingChunkStore::isByteBoundReached() const
{
    const QMutexLocker lock(&m_mutex);
    return m_inMemoryBytes + m_temporaryFileBytes >= m_maxHeldBytes;
}

int TPendingChunkStore::temporaryFileCount() const
{
    const QMutexLocker lock(&m_mutex);
    int count = 0;
    for (const auto& entry : m_pendingChunks) {
        if (entry->state == TPendingChunk::InTemporaryFile)
            ++count;
    }
    return count;
}

bool TPendingChunkStore::isEmpty() const
{
    const QMutexLocker lock(&m_mutex);
    return m_pendingChunks.isEmpty();
}

} // namespace orvan::launcher
