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

EPackageGeneration generationFromText(const QString& Text)
{
    if (Text == QLatin1String("first")) {
        return EPackageGeneration::First;
    }
    if (Text == QLatin1String("second")) {
        return EPackageGeneration::Second;
    }
    return EPackageGeneration::Unknown;
}

EPackageVariant variantFromText(const QString& Text)
{
    if (Text == QLatin1String("regular")) {
        return EPackageVariant::Regular;
    }
    if (Text == QLatin1String("preview")) {
        return EPackageVariant::Preview;
    }
    if (Text == QLatin1String("beta")) {
        return EPackageVariant::Beta;
    }
    if (Text == QLatin1String("test")) {
        return EPackageVariant::Test;
    }
    return EPackageVariant::Unknown;
}

QStringList readParameters(const QJsonValue& Value)
{
    QStringList parameters;
    for (const QJsonValue& parameter : Value.toArray()) {
        // Only strings are arguments; anything else in the list is not passed to the client.
        if (parameter.isString()) {
            parameters.append(parameter.toString());
        }
    }
    return parameters;
}

bool parseDocument(const QByteArray& Data, QJsonDocument& Document)
{
    QJsonParseError error;
    Document = QJsonDocument::fromJson(Data, &error);
    return error.error == QJsonParseError::NoError;
}

} // namespace

TPackageConfigurationReader::TPackageConfigurationReader(QByteArray PackageDocument, QByteArray AssetDocument,
                                                         QUrl PackageBaseUrl, QUrl AssetsBaseUrl)
    : m_packageBaseUrl(std::move(PackageBaseUrl)), m_assetsBaseUrl(std::move(AssetsBaseUrl)),
      m_packageDocument(std::move(PackageDocument)), m_assetDocument(std::move(AssetDocument))
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

bool TPackageConfigurationReader::hasValidChunkIndices(const TFileInPackage& File) const
{
    return File.hasValidChunkIndices(m_chunks.size());
}

bool TPackageConfigurationReader::chunksAddUpToFileSize(const TFileInPackage& File) const
{
    if (!hasValidChunkIndices(File)) {
        return false;
    }
    if (File.chunkIndices.empty()) {
        return true;
    }
    quint64 total = 0;
    for (const qint32 index : File.chunkIndices) {
        const quint64 size = m_chunks[static_cast<std::size_t>(index)].unpackedSize;
        if (size > std::numeric_limits<quint64>::max() - total) {
            return false;
        }
        total += size;
    }
    return total == File.unpackedSize;
}

void TPackageConfigurationReader::readPackageDocument(const QJsonObject& Document)
{
    m_version = Document.value(QLatin1String("version")).toString();
    m_executable = Document.value(QLatin1String("executable")).toString();
    m_generation = generationFromText(Document.value(QLatin1String("generation")).toString());
    m_variant = variantFromText(Document.value(QLatin1String("variant")).toString());
    appendChunksAndFiles(Document, m_packageBaseUrl);
    m_parameters = readParameters(Document.value(QLatin1String("parameters")));
}

void TPackageConfigurationReader::readAssetDocument(const QJsonObject& Document)
{
    m_assetsVersion = jsonvalue::toIntegerText(Document.value(QLatin1String("version")));
    appendChunksAndFiles(Document, m_assetsBaseUrl);
}

void TPackageConfigurationReader::appendChunksAndFiles(const QJsonObject& Document, const QUrl& BaseUrl)
{
    // Every chunk element takes a slot, even a non-object one, so that file indices stay right.
    jsonvalue::appendRecords<TChunkInPackage>(Document.value(QLatin1String("chunks")), BaseUrl, m_chunks);
    jsonvalue::appendRecords<TFileInPackage>(Document.value(QLatin1String("files")), BaseUrl, m_files);
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
