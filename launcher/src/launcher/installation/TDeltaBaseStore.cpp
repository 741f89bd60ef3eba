#include "TDeltaBaseStore.h"

#include "TScratchFile.h"

#include "delta/TChunkDeltaError.h"
#include "delta/TChunkDeltaFormat.h"
#include "hash/TSha256.h"

#include <QDebug>
#include <QMutexLocker>

#include <utility>

namespace orvan::launcher {

TDeltaBaseStore::TDeltaBaseStore(QString directory, quint64 maxBytes)
    : m_directory(std::move(directory)), m_maxBytes(maxBytes)
{}

TDeltaBaseStore::~TDeltaBaseStore() = default;

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
    QFile& file = m_file->file();
    if (!file.seek(static_cast<qint64>(m_size)) || file.write(data) != data.size()) {
        qWarning().noquote().nospace() << "could not keep a base chunk of " << path << ": " << file.errorString();
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

quint64 TDeltaBaseStore::size() const
{
    const QMutexLocker lock(&m_mutex);
    return m_size;
}

QByteArray TDeltaBaseStore::read(const std::vector<QByteArray>& hashes) const
{
    const TScratchFile* file = nullptr;
    std::vector<std::pair<quint64, quint64>> ranges;
    {
        const QMutexLocker lock(&m_mutex);
        file = m_file.get();
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
    if (file == nullptr && !ranges.empty())
        throw shared::TChunkDeltaError(QStringLiteral("the base chunks can't be read"));
    // Reads at an offset: rebuilds run in parallel.
    QByteArray base;
    for (std::size_t index = 0; index < ranges.size(); ++index) {
        const QByteArray data = file->readAt(ranges[index].first, ranges[index].second);
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
    auto file = std::make_unique<TScratchFile>(m_directory);
    if (!file->isOpen()) {
        qWarning().noquote().nospace() << "could not create a file for base chunks in " << m_directory << ": "
                                       << file->errorString();
        return false;
    }
    m_file = std::move(file);
    return true;
}

} // namespace orvan::launcher
