#include "TFileInPackage.h"

#include "JsonValueConversion.h"

#include <QJsonArray>
#include <QJsonObject>

namespace orvan::launcher {

namespace {

constexpr qint32 InvalidChunkIndex = -1;

std::vector<qint32> readChunkIndices(const QJsonValue& Value)
{
    std::vector<qint32> indices;
    if (!Value.isArray()) {
        return indices;
    }
    const QJsonArray array = Value.toArray();
    indices.reserve(static_cast<std::size_t>(array.size()));
    for (const QJsonValue& index : array) {
        indices.push_back(jsonvalue::toInt32(index, InvalidChunkIndex));
    }
    return indices;
}

} // namespace

TFileInPackage TFileInPackage::fromJson(const QJsonObject& Object, const QUrl& BaseUrl)
{
    TFileInPackage file;
    file.localFile = Object.value(QLatin1String("localfile")).toString();
    file.unpackedSize = jsonvalue::toUnsigned64(Object.value(QLatin1String("unpackedsize")));
    file.unpackedHash = jsonvalue::hexToBytes(Object.value(QLatin1String("unpackedhash")));
    file.executable = jsonvalue::toBool(Object.value(QLatin1String("executable")), false);
    jsonvalue::appendRecords<TFilePatch>(Object.value(QLatin1String("patches")), BaseUrl, file.patches);
    file.chunkIndices = readChunkIndices(Object.value(QLatin1String("chunks")));
    file.download = TChunkInPackage::fromJson(Object, BaseUrl);
    return file;
}

bool TFileInPackage::hasValidChunkIndices(std::size_t ChunkCount) const
{
    for (const qint32 index : chunkIndices) {
        if (index < 0 || static_cast<std::size_t>(index) >= ChunkCount) {
            return false;
        }
    }
    return true;
}

} // namespace orvan::launcher
