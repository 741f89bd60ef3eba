#include "TPackageConfigurationReader.h"

#include "JsonValueConversion.h"
#include "TJsonObjectOutline.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <limits>
#include <utility>

namespace orvan::launcher {

namespace {

/// The record lists of a document: chunks first, as files refer to them by index.
const std::vector<QLatin1String> RecordListKeys{QLatin1String("chunks"), QLatin1String("files")};
/// Elements parsed at a time; small enough that a batch's parsed form stays a few MiB.
constexpr std::size_t RecordBatchSize = 4096;

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
qint64 listedRecordCount(const QJsonDocument& document)
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

std::size_t elementCount(const TJsonObjectOutline& outline, QLatin1String key)
{
    for (const TJsonObjectOutline::TArray& array : outline.arrays()) {
        if (array.key == key)
            return array.elements.size();
    }
    return 0;
}

qint64 listedRecordCount(const TJsonObjectOutline& outline)
{
    qint64 count = 0;
    for (const TJsonObjectOutline::TArray& array : outline.arrays())
        count += static_cast<qint64>(array.elements.size());
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
                                                         QUrl packageBaseUrl, QUrl assetsBaseUrl, int recordAllowance)
{
    const int recordLimit = std::min(recordAllowance, MaximumRecordCount);
    auto content = std::make_shared<TContent>();
    content->packageBaseUrl = std::move(packageBaseUrl);
    content->assetsBaseUrl = std::move(assetsBaseUrl);
    content->packageDocument = std::move(packageDocument);
    content->assetDocument = std::move(assetDocument);
    m_content = content;

    // A parsed document takes several times the memory of its text, so the long lists are parsed
    // a batch at a time whenever the outline of the text allows it.
    TJsonObjectOutline packageOutline;
    TJsonObjectOutline assetOutline;
    const bool hasAsset = !content->assetDocument.isEmpty();
    const bool inParts = packageOutline.read(content->packageDocument, RecordListKeys) &&
                         (!hasAsset || assetOutline.read(content->assetDocument, RecordListKeys));
    const bool read = inParts ? readInParts(packageOutline, hasAsset ? &assetOutline : nullptr, *content, recordLimit)
                              : readWhole(*content, recordLimit);
    if (!read) {
        content->chunks = TChunkInPackageVector();
        content->files = TFileInPackageVector();
        return;
    }
    content->files.sortByLocalFile();
    warnAboutUnusableChunkLists();
    content->valid = true;
}

bool TPackageConfigurationReader::parseCheckedDocuments(const QByteArray& packageDocument,
                                                        const QByteArray& assetDocument, QJsonDocument& package,
                                                        QJsonDocument& asset)
{
    return parseCheckedDocuments(packageDocument, assetDocument, package, asset, MaximumRecordCount);
}

bool TPackageConfigurationReader::parseCheckedDocuments(const QByteArray& packageDocument,
                                                        const QByteArray& assetDocument, QJsonDocument& package,
                                                        QJsonDocument& asset, int recordLimit)
{
    if (!parseDocument(packageDocument, package)) {
        qCritical() << "JSON package configuration file could not be parsed, using default package.";
        return false;
    }
    if (!assetDocument.isEmpty() && !parseDocument(assetDocument, asset)) {
        qCritical() << "JSON asset configuration file could not be parsed, using default package.";
        return false;
    }
    return acceptsRecordCount(listedRecordCount(package) + listedRecordCount(asset), recordLimit);
}

bool TPackageConfigurationReader::readWhole(TContent& content, int recordLimit)
{
    QJsonDocument package;
    QJsonDocument asset;
    if (!parseCheckedDocuments(content.packageDocument, content.assetDocument, package, asset, recordLimit))
        return false;
    readPackageDocument(package.object(), content);
    if (asset.isObject())
        readAssetDocument(asset.object(), content);
    return true;
}

bool TPackageConfigurationReader::readInParts(const TJsonObjectOutline& package, const TJsonObjectOutline* asset,
                                              TContent& content, int recordLimit)
{
    const qint64 records = listedRecordCount(package) + (asset != nullptr ? listedRecordCount(*asset) : 0);
    // The records of a document that is refused anyway are not built: its parts are only checked.
    TContent* sink = records > recordLimit ? nullptr : &content;
    if (sink != nullptr) {
        content.chunks.reserve(elementCount(package, RecordListKeys[0]) +
                               (asset != nullptr ? elementCount(*asset, RecordListKeys[0]) : 0));
        content.files.reserve(elementCount(package, RecordListKeys[1]) +
                              (asset != nullptr ? elementCount(*asset, RecordListKeys[1]) : 0));
    }
    QJsonDocument packageSkeleton;
    if (!parseDocument(package.skeleton(), packageSkeleton) ||
        !readRecordLists(package, content.packageBaseUrl, sink)) {
        qCritical() << "JSON package configuration file could not be parsed, using default package.";
        return false;
    }
    QJsonDocument assetSkeleton;
    if (asset != nullptr &&
        (!parseDocument(asset->skeleton(), assetSkeleton) || !readRecordLists(*asset, content.assetsBaseUrl, sink))) {
        qCritical() << "JSON asset configuration file could not be parsed, using default package.";
        return false;
    }
    if (!acceptsRecordCount(records, recordLimit))
        return false;
    // The skeletons hold every other key; their record lists are empty now.
    readPackageDocument(packageSkeleton.object(), content);
    if (asset != nullptr)
        readAssetDocument(assetSkeleton.object(), content);
    return true;
}

bool TPackageConfigurationReader::readRecordLists(const TJsonObjectOutline& outline, const QUrl& baseUrl,
                                                  TContent* content)
{
    // Chunks before files, whatever their order in the text.
    for (const QLatin1String key : RecordListKeys) {
        for (const TJsonObjectOutline::TArray& array : outline.arrays()) {
            if (array.key != key)
                continue;
            for (std::size_t first = 0; first < array.elements.size(); first += RecordBatchSize) {
                const std::size_t count = std::min(RecordBatchSize, array.elements.size() - first);
                QJsonDocument batch;
                if (!parseDocument(outline.batch(array, first, count), batch))
                    return false;
                if (content == nullptr)
                    continue;
                const QJsonValue records(batch.array());
                if (key == RecordListKeys[0])
                    jsonvalue::appendRecords<TChunkInPackage>(records, baseUrl, content->chunks);
                else
                    jsonvalue::appendRecords<TFileInPackage>(records, baseUrl, content->files);
            }
        }
    }
    return true;
}

bool TPackageConfigurationReader::acceptsRecordCount(qint64 records, int recordLimit)
{
    if (records <= recordLimit)
        return true;
    if (records > MaximumRecordCount)
        qCritical().noquote().nospace() << "JSON package configuration lists " << records
                                        << " files and chunks, more than the " << MaximumRecordCount
                                        << " the launcher handles, using default package.";
    else
        qCritical().noquote().nospace() << "JSON package configuration lists " << records
                                        << " files and chunks, more than the " << recordLimit
                                        << " left of what the launcher handles over all packages, using default "
                                           "package.";
    return false;
}

qint64 TPackageConfigurationReader::recordCount() const
{
    return static_cast<qint64>(m_content->chunks.size()) + static_cast<qint64>(m_content->files.size());
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
