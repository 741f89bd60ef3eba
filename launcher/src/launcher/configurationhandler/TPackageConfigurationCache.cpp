#include "TPackageConfigurationCache.h"

#include "configuration/TPackageConfigurationReader.h"
#include "hash/TSha256.h"

#include <algorithm>

namespace orvan::launcher {

TPackageConfigurationCache::TKey TPackageConfigurationCache::TKey::of(const TDocuments& documents)
{
    return {::shared::TSha256::hash(documents.packageDocument), ::shared::TSha256::hash(documents.assetDocument),
            documents.packageBaseUrl.adjusted(QUrl::RemoveQuery), documents.assetsBaseUrl.adjusted(QUrl::RemoveQuery)};
}

bool TPackageConfigurationCache::TKey::operator==(const TKey& other) const
{
    return packageSha256 == other.packageSha256 && assetSha256 == other.assetSha256 &&
           packageBase == other.packageBase && assetsBase == other.assetsBase;
}

TPackageConfigurationCache::TPackageConfigurationCache(int recordCap) : m_recordCap(recordCap) {}

TPackageConfigurationCache::TSnapshot TPackageConfigurationCache::snapshot()
{
    forgetReleased();
    TSnapshot snapshot;
    qint64 held = 0;
    for (const TEntry& entry : m_entries) {
        snapshot.readers.push_back({entry.key, entry.reader.lock()});
        held += entry.records;
    }
    snapshot.recordAllowance = static_cast<int>(std::max<qint64>(0, m_recordCap - held));
    return snapshot;
}

TPackageConfigurationCache::TResult TPackageConfigurationCache::obtain(const TDocuments& documents,
                                                                       const TSnapshot& snapshot)
{
    TResult result{TKey::of(documents), nullptr, false};
    for (const TKnownReader& known : snapshot.readers) {
        if (known.reader && known.key == result.key) {
            result.reader = known.reader;
            return result;
        }
    }
    result.reader = std::make_shared<const TPackageConfigurationReader>(
        documents.packageDocument, documents.assetDocument, documents.packageBaseUrl, documents.assetsBaseUrl,
        snapshot.recordAllowance);
    result.parsed = true;
    return result;
}

void TPackageConfigurationCache::remember(const TResult& result)
{
    // A refused document is not kept: the same bytes may fit once other readers are released.
    if (!result.parsed || !result.reader->isValid())
        return;
    m_entries.push_back({result.key, result.reader, result.reader->recordCount()});
}

void TPackageConfigurationCache::forgetReleased()
{
    m_entries.erase(
        std::remove_if(m_entries.begin(), m_entries.end(), [](const TEntry& entry) { return entry.reader.expired(); }),
        m_entries.end());
}

} // namespace orvan::launcher
