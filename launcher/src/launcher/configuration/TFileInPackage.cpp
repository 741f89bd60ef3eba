#include "TFileInPackage.h"

#include "JsonValueConversion.h"

#include <QJsonArray>
#include <QJsonObject>

namespace orvan::launcher {

namespace {

constexpr qint32 InvalidChunkIndex = -1;

std::vector<qint32> readChunkIndices(const QJsonValue& value)
{
    std::vector<qint32> indices;
    if (!value.isArray()) {
        return indices;
    }
    const QJsonArray array = value.toArray();
    indices.reserve(static_cast<std::size_t>(array.size()));
    for (const QJsonValue& index : array) {
        indices.push_back(jsonvalue::toInt32(index, InvalidChunkIndex));
    }
    return indices;
}

} // namespace

TFileInPackage TFileInPackage::fromJson(const QJsonObject& object, const QUrl& baseUrl)
{
    TFileInPackage file;
    file.localFile = object.value(QLatin1String("localfile")).toString();
    file.unpackedSize = jsonvalue::toUnsigned64(object.value(QLatin1String("unpackedsize")));
    file.executable = jsonvalue::toBool(object.value(QLatin1String("executable")), false);
    jsonvalue::appendRecords<TFilePatch>(object.value(QLatin1String("patches")), baseUrl, file.patches);
    file.chunkIndices = readChunkIndices(object.value(QLatin1String("chunks")));
    file.download = TChunkInPackage::fromJson(object, baseUrl);
    // Both come from the same "unpackedhash": one shared copy instead of two per file.
    file.unpackedHash = file.download.unpackedHash;
    return file;
}

bool TFileInPackage::hasValidChunkIndices(std::size_t chunkCount) const
{
    for (const qint32 index : chunkIndices) {
        if (index < 0 || static_cast<std::size_t>(index) >= chunkCount) {
            return false;
        }
    }
    return true;
}

} // namespace orvan::launcher
