#pragma once

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QString>

#include <memory>
#include <utility>
#include <vector>

namespace orvan::launcher {

class TScratchFile;

/// Holds copies of local chunks that deltas of a run rebuild from, in one scratch file without a
/// name on the file system of a given folder, so that they survive the rebuild of their file in
/// place and the writes of the download, and vanish with the store or the process. Each chunk is
/// kept once; the store refuses more than its byte bound. Safe for concurrent use.
class TDeltaBaseStore
{
public:
    static constexpr quint64 DefaultMaxBytes = 1024ull * 1024 * 1024;

    /// The copies go to the file system of Directory (the installation's, whose free space the
    /// run is checked against), never to the system's temporary folder.
    explicit TDeltaBaseStore(QString directory, quint64 maxBytes = DefaultMaxBytes);
    ~TDeltaBaseStore();
    TDeltaBaseStore(const TDeltaBaseStore&) = delete;
    TDeltaBaseStore& operator=(const TDeltaBaseStore&) = delete;

    /// Copies Length bytes at Offset of the file at Path unless the store holds Hash already;
    /// false when reading or writing failed, the bytes are not Hash, or the bound is reached.
    bool keep(const QByteArray& hash, const QString& path, quint64 offset, quint64 length);
    bool contains(const QByteArray& hash) const;
    /// The bytes the kept copies take on the disk.
    quint64 size() const;
    /// The kept chunks Hashes, concatenated, each checked against its hash again; throws
    /// shared::TChunkDeltaError when one is missing or changed.
    QByteArray read(const std::vector<QByteArray>& hashes) const;

private:
    bool openFile();

    QString m_directory;
    quint64 m_maxBytes;
    mutable QMutex m_mutex;
    /// Made with the first copy; never replaced afterwards, so readers may use it without the mutex.
    std::unique_ptr<TScratchFile> m_file;
    /// Offset and length in the file by chunk hash.
    QHash<QByteArray, std::pair<quint64, quint64>> m_ranges;
    quint64 m_size = 0;
};

} // namespace orvan::launcher
