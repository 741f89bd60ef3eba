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

bool parseDocument(const QByteArray& data, QJsonDocument& document)
{
    QJsonParseError error;
    document = QJsonDocument::fromJson(data, &error);
    return error.error == QJsonParseError::NoError;
}

} // namespace

TPackageConfigurationReader::TPackageConfigurationReader(QByteArray packageDocument, QByteArray assetDocument,
                                                         QUrl packageBaseUrl, QUrl assetsBaseUrl)
    : m_packageBaseUrl(std::move(packageBaseUrl)), m_assetsBaseUrl(std::move(assetsBaseUrl)),
      m_packageDocument(std::move(packageDocument)), m_assetDocument(std::move(assetDocument))
{
    QJsonDocument package;
    if (!parseDocument(m_packageDocument, package)) {
        qCritical() << "JSON package configuration file could not be parsed, using default package.";
        return;
    }
    QJsonDocument asset;
    if (!m_assetDocument.isEmpty() && !parseDocument(m_assetDocument, asset)) {
        qCritical() << "JSON asset configuration file could not be parsed, using default package.";
        return;
    }
    readPackageDocument(package.object());
    if (asset.isObject()) {
        readAssetDocument(asset.object());
    }
    m_files.sortByLocalFile();
    warnAboutUnusableChunkLists();
    m_valid = true;
}

bool TPackageConfigurationReader::hasValidChunkIndices(const TFileInPackage& file) const
{
    return file.hasValidChunkIndices(m_chunks.size());
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
        const quint64 size = m_chunks[static_cast<std::size_t>(index)].unpackedSize;
        if (size > std::numeric_limits<quint64>::max() - total) {
            return false;
        }
        total += size;
    }
    return total == file.unpackedSize;
}

void TPackageConfigurationReader::readPackageDocument(const QJsonObject& document)
{
    m_version = document.value(QLatin1String("version")).toString();
    m_executable = document.value(QLatin1String("executable")).toString();
    m_generation = generationFromText(document.value(QLatin1String("generation")).toString());
    m_variant = variantFromText(document.value(QLatin1String("variant")).toString());
    appendChunksAndFiles(document, m_packageBaseUrl);
    m_parameters = readParameters(document.value(QLatin1String("parameters")));
}

void TPackageConfigurationReader::readAssetDocument(const QJsonObject& document)
{
    m_assetsVersion = jsonvalue::toIntegerText(document.value(QLatin1String("version")));
    appendChunksAndFiles(document, m_assetsBaseUrl);
}

void TPackageConfigurationReader::appendChunksAndFiles(const QJsonObject& document, const QUrl& baseUrl)
{
    // Every chunk element takes a slot, even a non-object one, so that file indices stay right.
    jsonvalue::appendRecords<TChunkInPackage>(document.value(QLatin1String("chunks")), baseUrl, m_chunks);
    jsonvalue::appendRecords<TFileInPackage>(document.value(QLatin1String("files")), baseUrl, m_files);
}

void TPackageConfigurationReader::warnAboutUnusableChunkLists() const
{
    int count = 0;
    for (const TFileInPackage& file : m_files) {
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
