#include "TDeltaHistory.h"

#include "TPackBuildError.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace packbuilder {

namespace {

QJsonObject readObject(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return QJsonDocument::fromJson(file.readAll()).object();
}

QByteArray fromHex(const QJsonValue& value)
{
    return QByteArray::fromHex(value.toString().toLatin1());
}

std::vector<TPublishedDelta> deltasOf(const QJsonObject& chunk)
{
    std::vector<TPublishedDelta> deltas;
    for (const QJsonValue& value : chunk.value(QStringLiteral("deltas")).toArray()) {
        const QJsonObject object = value.toObject();
        TPublishedDelta delta;
        for (const QJsonValue& from : object.value(QStringLiteral("from")).toArray())
            delta.from.push_back(fromHex(from));
        delta.url = object.value(QStringLiteral("url")).toString();
        delta.size = static_cast<quint64>(object.value(QStringLiteral("size")).toDouble());
        delta.sha256 = fromHex(object.value(QStringLiteral("sha256")));
        if (!delta.from.empty() && !delta.url.isEmpty())
            deltas.push_back(std::move(delta));
    }
    return deltas;
}

QJsonArray layoutFilesJson(const TPublishedLayout& layout)
{
    QJsonArray files;
    for (const auto& file : layout.files) {
        QJsonArray chunks;
        for (const TPublishedLayout::TChunkRef& chunk : file.second)
            chunks.append(QJsonArray{QString::fromLatin1(chunk.hash.toHex()), static_cast<double>(chunk.size)});
        files.append(QJsonObject{{QStringLiteral("localfile"), file.first}, {QStringLiteral("chunks"), chunks}});
    }
    return files;
}

TPublishedLayout layoutFromJson(const QJsonObject& version)
{
    TPublishedLayout layout;
    layout.version = version.value(QStringLiteral("version")).toString();
    for (const QJsonValue& value : version.value(QStringLiteral("files")).toArray()) {
        const QJsonObject file = value.toObject();
        std::vector<TPublishedLayout::TChunkRef> chunks;
        for (const QJsonValue& chunk : file.value(QStringLiteral("chunks")).toArray()) {
            const QJsonArray pair = chunk.toArray();
            chunks.push_back({fromHex(pair.at(0)), static_cast<quint64>(pair.at(1).toDouble())});
        }
        layout.files.emplace_back(file.value(QStringLiteral("localfile")).toString(), std::move(chunks));
    }
    return layout;
}

} // namespace

const std::vector<TPublishedLayout::TChunkRef>* TPublishedLayout::chunksOf(const QString& localFile) const
{
    for (const auto& file : files) {
        if (file.first == localFile)
            return &file.second;
    }
    return nullptr;
}

TDeltaHistory::TDeltaHistory(const QDir& output, const QString& packageFileName, const QString& assetFileName,
                             int depth)
{
    if (depth <= 0)
        return;
    readDocuments(output, packageFileName, assetFileName);
    readHistoryFile(output, packageFileName, depth);
}

void TDeltaHistory::readDocuments(const QDir& output, const QString& packageFileName, const QString& assetFileName)
{
    const QJsonObject package = readObject(output.filePath(packageFileName));
    if (package.isEmpty())
        return;
    // Asset files name chunks by their index after the package's chunks, as the launcher reads them.
    std::vector<TPublishedLayout::TChunkRef> chunks;
    std::vector<QJsonArray> fileLists{package.value(QStringLiteral("files")).toArray()};
    std::vector<QJsonObject> documents{package};
    const QJsonObject assets = readObject(output.filePath(assetFileName));
    if (!assets.isEmpty())
        documents.push_back(assets);
    for (const QJsonObject& document : documents) {
        for (const QJsonValue& value : document.value(QStringLiteral("chunks")).toArray()) {
            const QJsonObject chunk = value.toObject();
            const QByteArray hash = fromHex(chunk.value(QStringLiteral("unpackedhash")));
            chunks.push_back({hash, static_cast<quint64>(chunk.value(QStringLiteral("unpackedsize")).toDouble())});
            std::vector<TPublishedDelta> deltas = deltasOf(chunk);
            if (!deltas.empty())
                m_knownDeltas.insert(hash, deltas);
        }
    }
    TPublishedLayout layout;
    layout.version = package.value(QStringLiteral("version")).toString();
    for (const QJsonObject& document : documents) {
        for (const QJsonValue& value : document.value(QStringLiteral("files")).toArray()) {
            const QJsonArray indices = value.toObject().value(QStringLiteral("chunks")).toArray();
            std::vector<TPublishedLayout::TChunkRef> fileChunks;
            for (const QJsonValue& index : indices) {
                const int position = index.toInt(-1);
                if (position < 0 || static_cast<std::size_t>(position) >= chunks.size()) {
                    fileChunks.clear();
                    break;
                }
                fileChunks.push_back(chunks[static_cast<std::size_t>(position)]);
            }
            if (fileChunks.size() > 1)
                layout.files.emplace_back(value.toObject().value(QStringLiteral("localfile")).toString(),
                                          std::move(fileChunks));
        }
    }
    m_versions.push_back(std::move(layout));
}

void TDeltaHistory::readHistoryFile(const QDir& output, const QString& packageFileName, int depth)
{
    const QJsonObject history = readObject(output.filePath(historyFileName(packageFileName)));
    for (const QJsonValue& value : history.value(QStringLiteral("versions")).toArray()) {
        if (static_cast<int>(m_versions.size()) >= depth)
            break;
        TPublishedLayout layout = layoutFromJson(value.toObject());
        // The history names the published version too once it was written after that build.
        if (!m_versions.empty() && m_versions.front().version == layout.version)
            continue;
        m_versions.push_back(std::move(layout));
    }
}

void TDeltaHistory::write(const QDir& output, const QString& packageFileName,
                          const std::vector<TPublishedLayout>& versions)
{
    QJsonArray list;
    for (const TPublishedLayout& layout : versions)
        list.append(QJsonObject{{QStringLiteral("version"), layout.version},
                                {QStringLiteral("files"), layoutFilesJson(layout)}});
    const QByteArray data =
        QJsonDocument(QJsonObject{{QStringLiteral("versions"), list}}).toJson(QJsonDocument::Compact);
    const QString path = output.filePath(historyFileName(packageFileName));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        throw TPackBuildError(QStringLiteral("cannot write '%1': %2").arg(path, file.errorString()));
}

QString TDeltaHistory::historyFileName(const QString& packageFileName)
{
    return QFileInfo(packageFileName).completeBaseName() + QStringLiteral(".history.json");
}

} // namespace packbuilder
