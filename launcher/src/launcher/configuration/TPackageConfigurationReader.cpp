#include "TPackageConfigurationReader.h"

#include "JsonValueConversion.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <limits>
#include <utility>

namespace orvan::launcher {

namespace {

EPackageGeneration generationFromText(const QString& text)
{
    if (text == QLatin1String("first")) {
        return EPackageGeneration::First;
    }
    if (text == QLatin1String("second")) {
        return EPackageGeneration::Second;
    }
    return EPackageGeneration::Unknown;
}

EPackageVariant variantFromText(const QString& text)
{
    if (text == QLatin1String("regular")) {
        return EPackageVariant::Regular;
    }
    if (text == QLatin1String("preview")) {
        return EPackageVariant::Preview;
    }
    if (text == QLatin1String("beta")) {
        return EPackageVariant::Beta;
    }
    if (text == QLatin1String("test")) {
        return EPackageVariant::Test;
    }
    return EPackageVariant::Unknown;
}

QStringList readParameters(const QJsonValue& value)
{
    QStringList parameters;
    for (const QJsonValue& parameter : value.toArray()) {
        // Only strings are arguments; anything else in the list is not passed to the client.
        if (parameter.isString()) {
            parameters.append(parameter.toString());
        }
    }
    return parameters;
}

/// The files and chunks a document lists, counted before any record is built.
qint64 recordCount(const QJsonDocument& document)
{
    if (!document.isObject()) {
        return 0;
    }
    const QJsonObject object = document.object();
    qint64 count = 0;
    for (const QLatin1String key : {QLatin1String("chunks"), QLatin1String("files")}) {
        const QJsonValue list = object.value(key);
        if (list.isArray()) {
            count += list.toArray().size();
        }
    }
    return count;
}

bool parseDocument(const QByteArray& data, QJsonDocument& document)
{
    QJsonParseError error;
    document = QJsonDocument::fromJson(data, &error);
    return error.error == QJsonParseError::NoError;
}

} // namespace

TPackageConfigurationReader::TPackageConfigurationReader() : m_content(std::make_shared<const TContent>()) {}

TPackageConfigurationReader::TPackageConfigurationReader(QByteArray packageDocument, QByteArray assetDocument,
                                                         QUrl packageBaseUrl, QUrl assetsBaseUrl)
{
    auto content = std::make_shared<TContent>();
    content->packageBaseUrl = std::move(packageBaseUrl);
    content->assetsBaseUrl = std::move(assetsBaseUrl);
    content->packageDocument = std::move(packageDocument);
    content->assetDocument = std::move(assetDocument);
    m_content = content;

    QJsonDocument package;
    if (!parseDocument(content->packageDocument, package)) {
        qCritical() << "JSON package configuration file could not be parsed, using default package.";
        return;
    }
    QJsonDocument asset;
    if (!content->assetDocument.isEmpty() && !parseDocument(content->assetDocument, asset)) {
        qCritical() << "JSON asset configuration file could not be parsed, using default package.";
        return;
    }
    const qint64 records = recordCount(package) + recordCount(asset);
    if (records > MaximumRecordCount) {
        qCritical().noquote().nospace() << "JSON package configuration lists " << records
                                        << " files and chunks, more than the " << MaximumRecordCount
                                        << " the launcher handles, using default package.";
        return;
    }
    readPackageDocument(package.object(), *content);
    if (asset.isObject()) {
        readAssetDocument(asset.object(), *content);
    }
    content->files.sortByLocalFile();
    warnAboutUnusableChunkLists();
    content->valid = true;
}

bool TPackageConfigurationReader::hasValidChunkIndices(const TFileInPackage& file) const
{
    return file.hasValidChunkIndices(m_content->chunks.size());
}

bool TPackageConfigurationReader::chunksAddUpToFileSize(const TFileInPackage& file) const
{
    if (!hasValidChunkIndices(file)) {
        return false;
    }
    if (file.chunkIndices.empty()) {
        return true;
    }
    quint64 total = 0;
    for (const qint32 index : file.chunkIndices) {
        const quint64 size = m_content->chunks[static_cast<std::size_t>(index)].unpackedSize;
        if (size > std::numeric_limits<quint64>::max() - total) {
            return false;
        }
        total += size;
    }
    return total == file.unpackedSize;
}

void TPackageConfigurationReader::readPackageDocument(const QJsonObject& document, TContent& content)
{
    content.version = document.value(QLatin1String("version")).toString();
    content.executable = document.value(QLatin1String("executable")).toString();
    content.generation = generationFromText(document.value(QLatin1String("generation")).toString());
    content.variant = variantFromText(document.value(QLatin1String("variant")).toString());
    appendChunksAndFiles(document, content.packageBaseUrl, content);
    content.parameters = readParameters(document.value(QLatin1String("parameters")));
}

void TPackageConfigurationReader::readAssetDocument(const QJsonObject& document, TContent& content)
{
    content.assetsVersion = jsonvalue::toIntegerText(document.value(QLatin1String("version")));
    appendChunksAndFiles(document, content.assetsBaseUrl, content);
}

void TPackageConfigurationReader::appendChunksAndFiles(const QJsonObject& document, const QUrl& baseUrl,
                                                       TContent& content)
{
    // Every chunk element takes a slot, even a non-object one, so that file indices stay right.
    jsonvalue::appendRecords<TChunkInPackage>(document.value(QLatin1String("chunks")), baseUrl, content.chunks);
    jsonvalue::appendRecords<TFileInPackage>(document.value(QLatin1String("files")), baseUrl, content.files);
}

void TPackageConfigurationReader::warnAboutUnusableChunkLists() const
{
    int count = 0;
    for (const TFileInPackage& file : m_content->files) {
        if (!hasValidChunkIndices(file)) {
            ++count;
        }
    }
    if (count > 0) {
        qWarning() << "Package configuration lists" << count
                   << "files with chunk indices outside the chunk list; their chunks are not used.";
    }
}

} // namespace orvan::launcher
