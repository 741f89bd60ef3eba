#include "TChunkInPackage.h"

#include "JsonValueConversion.h"

#include <QJsonObject>

namespace orvan::launcher {

TChunkInPackage TChunkInPackage::fromJson(const QJsonObject& object, const QUrl& baseUrl)
{
    TChunkInPackage chunk;
    chunk.url = jsonvalue::toResolvedUrl(object.value(QLatin1String("url")), baseUrl);
    chunk.packedSize = jsonvalue::toUnsigned64(object.value(QLatin1String("packedsize")));
    chunk.packedHash = jsonvalue::hexToBytes(object.value(QLatin1String("packedhash")));
    chunk.unpackedSize = jsonvalue::toUnsigned64(object.value(QLatin1String("unpackedsize")));
    chunk.unpackedHash = jsonvalue::hexToBytes(object.value(QLatin1String("unpackedhash")));
    chunk.unpack = jsonvalue::toBool(object.value(QLatin1String("unpack")), true);
    chunk.deltas = TChunkDelta::listFromJson(object.value(QLatin1String("deltas")), baseUrl);
    return chunk;
}

bool TChunkInPackage::operator==(const TChunkInPackage& other) const
{
    return url == other.url && packedSize == other.packedSize && packedHash == other.packedHash &&
           unpackedSize == other.unpackedSize && unpackedHash == other.unpackedHash && unpack == other.unpack;
}

} // namespace orvan::launcher
