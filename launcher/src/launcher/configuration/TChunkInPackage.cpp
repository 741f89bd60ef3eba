#include "TChunkInPackage.h"

#include "JsonValueConversion.h"

#include <QJsonObject>

namespace orvan::launcher {

TChunkInPackage TChunkInPackage::fromJson(const QJsonObject& Object, const QUrl& BaseUrl)
{
    TChunkInPackage chunk;
    chunk.url = jsonvalue::toResolvedUrl(Object.value(QLatin1String("url")), BaseUrl);
    chunk.packedSize = jsonvalue::toUnsigned64(Object.value(QLatin1String("packedsize")));
    chunk.packedHash = jsonvalue::hexToBytes(Object.value(QLatin1String("packedhash")));
    chunk.unpackedSize = jsonvalue::toUnsigned64(Object.value(QLatin1String("unpackedsize")));
    chunk.unpackedHash = jsonvalue::hexToBytes(Object.value(QLatin1String("unpackedhash")));
    chunk.unpack = jsonvalue::toBool(Object.value(QLatin1String("unpack")), true);
    return chunk;
}

bool TChunkInPackage::operator==(const TChunkInPackage& Other) const
{
    return url == Other.url && packedSize == Other.packedSize && packedHash == Other.packedHash &&
           unpackedSize == Other.unpackedSize && unpackedHash == Other.unpackedHash && unpack == Other.unpack;
}

} // namespace orvan::launcher
