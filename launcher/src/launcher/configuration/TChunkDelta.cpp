#include "TChunkDelta.h"

#include "JsonValueConversion.h"

#include <QJsonArray>
#include <QJsonObject>

namespace orvan::launcher {

namespace {

constexpr int HashSize = 32;

bool isWellFormed(const TChunkDelta& delta)
{
    if (delta.from.empty() || delta.url.isEmpty() || delta.size == 0 || delta.sha256.size() != HashSize)
        return false;
    for (const QByteArray& hash : delta.from) {
        if (hash.size() != HashSize)
            return false;
    }
    return true;
}

} // namespace

std::vector<TChunkDelta> TChunkDelta::listFromJson(const QJsonValue& value, const QUrl& baseUrl)
{
    std::vector<TChunkDelta> deltas;
    for (const QJsonValue& entry : value.toArray()) {
        const QJsonObject object = entry.toObject();
        TChunkDelta delta;
        for (const QJsonValue& hash : object.value(QLatin1String("from")).toArray())
            delta.from.push_back(jsonvalue::hexToBytes(hash));
        delta.url = jsonvalue::toResolvedUrl(object.value(QLatin1String("url")), baseUrl);
        delta.size = jsonvalue::toUnsigned64(object.value(QLatin1String("size")));
        delta.sha256 = jsonvalue::hexToBytes(object.value(QLatin1String("sha256")));
        if (isWellFormed(delta))
            deltas.push_back(std::move(delta));
    }
    return deltas;
}

} // namespace orvan::launcher
