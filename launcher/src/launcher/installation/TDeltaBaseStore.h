#pragma once

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QString>
#include <QTemporaryFile>

#include <memory>
#include <utility>
#include <vector>

namespace orvan::launcher {

/// Holds copies of local chunks that deltas of a run rebuild from, in one temporary file, so that
/// they survive the rebuild of their file in place and the writes of the download. Each chunk is
/// kept once; the store refuses more than its byte bound. Safe for concurrent use.
class TDeltaBaseStore
{
public:
    static constexpr quint64 DefaultMaxBytes = 1024ull * 1024 * 1024;

    explicit TDeltaBaseStore(quint64 maxBytes = DefaultMaxBytes);

    /// Copies Length bytes at Offset of the file at Path unless the store holds Hash already;
    /// false when reading or writing failed, the bytes are not Hash, or the bound is reached.
    bool keep(const QByteArray& hash, const QString& path, quint64 offset, quint64 length);
    bool contains(const QByteArray& hash) const;
    /// The kept chunks Hashes, concatenated, each checked against its hash again; throws
    /// shared::TChunkDeltaError when one is missing or changed.
    QByteArray read(const std::vector<QByteArray>& hashes) const;

private:
    bool openFile();

    quint64 m_maxBytes;
    mutable QMutex m_mutex;
    std::unique_ptr<QTemporaryFile> m_file;
    QString m_fileName;
    /// Offset and length in the file by chunk hash.
    QHash<QByteArray, std::pair<quint64, quint64>> m_ranges;
    quint64 m_size = 0;
};

} // namespace orvan::launcher
