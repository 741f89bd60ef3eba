#pragma once

#include <QByteArray>
#include <QUrl>

#include <memory>
#include <vector>

namespace orvan::launcher {

class TPackageConfigurationReader;

/// The parsed package configurations of one start: builds whose documents are byte for byte the
/// same, with relative URLs that resolve alike, share one reader, and the files and chunks of all
/// distinct readers together stay within a cap.
///
/// Thread: the members run on the GUI thread; obtain() is a pure function for a pool thread and
/// works on the copies it is given. Lifetime: readers are held weakly, so one that no build or
/// task holds any more is neither shared again nor counted. Bound: MaximumRecordCountPerStart
/// records over the live readers; a document that would pass it is parsed as refused.
class TPackageConfigurationCache
{
public:
    /// Two packages of the largest size a reader takes, so the largest game still installs beside
    /// the launcher's own package; about 900 MiB of parsed records.
    static constexpr int MaximumRecordCountPerStart = 1000000;

    /// The documents of one build and the bases their relative URLs resolve against.
    struct TDocuments
    {
        QByteArray packageDocument;
        QByteArray assetDocument;
        QUrl packageBaseUrl;
        QUrl assetsBaseUrl;
    };

    /// What makes two readers equal: the SHA-256 of both documents and the bases without their
    /// query, which resolution drops anyway (a "nocache" token must not prevent sharing).
    struct TKey
    {
        QByteArray packageSha256;
        QByteArray assetSha256;
        QUrl packageBase;
        QUrl assetsBase;

        static TKey of(const TDocuments& documents);
        bool operator==(const TKey& other) const;
    };

    struct TKnownReader
    {
        TKey key;
        std::shared_ptr<const TPackageConfigurationReader> reader;
    };

    /// The state a parse task starts from: the live readers and the records still allowed.
    struct TSnapshot
    {
        std::vector<TKnownReader> readers;
        int recordAllowance = 0;
    };

    struct TResult
    {
        TKey key;
        std::shared_ptr<const TPackageConfigurationReader> reader;
        /// False when the reader was found among the known ones.
        bool parsed = false;
    };

    explicit TPackageConfigurationCache(int recordCap = MaximumRecordCountPerStart);

    /// Only valid while no other task's result is still to be remembered: tasks run one at a time.
    TSnapshot snapshot();
    /// The reader of Snapshot with the key of Documents, or a new one parsed within its allowance.
    static TResult obtain(const TDocuments& documents, const TSnapshot& snapshot);
    /// Keeps a newly parsed, valid reader for sharing and counts its records.
    void remember(const TResult& result);

private:
    struct TEntry
    {
        TKey key;
        std::weak_ptr<const TPackageConfigurationReader> reader;
        qint64 records = 0;
    };

    void forgetReleased();

    int m_recordCap;
    std::vector<TEntry> m_entries;
};

} // namespace orvan::launcher
