#include "TDeltaBaseStore.h"

#include "delta/TChunkDeltaError.h"
#include "delta/TChunkDeltaFormat.h"
#include "hash/TSha256.h"

#include <QDebug>
#include <QFile>
#include <QMutexLocker>

namespace orvan::launcher {

TDeltaBaseStore::TDeltaBaseStore(quint64 maxBytes) : m_maxBytes(maxBytes) {}

bool TDeltaBaseStore::keep(const QByteArray& hash, const QString& path, quint64 offset, quint64 length)
{
    const QMutexLocker lock(&m_mutex);
    if (m_ranges.contains(hash))
        return true;
    if (m_size + length > m_maxBytes || !openFile())
        return false;
    QFile source(path);
    if (!source.open(QIODevice::ReadOnly) || !source.seek(static_cast<qint64>(offset)))
        return false;
    const QByteArray data = source.read(static_cast<qint64>(length));
    if (static_cast<quint64>(data.size()) != length || shared::TSha256::hash(data) != hash)
        return false;
    if (!m_file->seek(static_cast<qint64>(m_size)) || m_file->write(data) != data.size() || !m_file->flush()) {
        qWarning().noquote().nospace() << "could not keep a base chunk of " << path << ": " << m_file->errorString();
        return false;
    }
    m_ranges.insert(hash, {m_size, length});
    m_size += length;
    return true;
}

bool TDeltaBaseStore::contains(const QByteArray& hash) const
{
    const QMutexLocker lock(&m_mutex);
    return m_ranges.contains(hash);
}

QByteArray TDeltaBaseStore::read(const std::vector<QByteArray>& hashes) const
{
    QString fileName;
    std::vector<std::pair<quint64, quint64>> ranges;
    {
        const QMutexLocker lock(&m_mutex);
        fileName = m_fileName;
        quint64 total = 0;
        for (const QByteArray& hash : hashes) {
            const auto range = m_ranges.constFind(hash);
            if (range == m_ranges.constEnd())
                throw shared::TChunkDeltaError(QStringLiteral("a base chunk is not at hand"));
            ranges.push_back(range.value());
            total += range.value().second;
        }
        if (total > shared::TChunkDeltaFormat::MaxBaseBytes)
            throw shared::TChunkDeltaError(QStringLiteral("the base exceeds the delta limits"));
    }
    // A file of its own per read: rebuilds run in parallel.
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly))
        throw shared::TChunkDeltaError(QStringLiteral("the base chunks can't be read: %1").arg(file.errorString()));
    QByteArray base;
    for (std::size_t index = 0; index < ranges.size(); ++index) {
        if (!file.seek(static_cast<qint64>(ranges[index].first)))
            throw shared::TChunkDeltaError(QStringLiteral("the base chunks can't be read"));
        const QByteArray data = file.read(static_cast<qint64>(ranges[index].second));
        if (shared::TSha256::hash(data) != hashes[index])
            throw shared::TChunkDeltaError(QStringLiteral("a base chunk changed"));
        base += data;
    }
    return base;
}

bool TDeltaBaseStore::openFile()
{
    if (m_file)
        return true;
    auto file = std::make_unique<QTemporaryFile>();
    if (!file->open()) {
        qWarning().noquote().nospace() << "could not create a file for base chunks: " << file->errorString();
        return false;
    }
    m_fileName = file->fileName();
    m_file = std::move(file);
    return true;
}

} // namespace orvan::launcher
