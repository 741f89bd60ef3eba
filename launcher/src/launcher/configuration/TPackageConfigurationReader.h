#pragma once

#include "EPackageGeneration.h"
#include "EPackageVariant.h"
#include "TChunkInPackageVector.h"
#include "TFileInPackageVector.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

class QJsonObject;

namespace orvan::launcher {

/// A parsed package configuration document together with its optional asset document: the
/// files and chunks of one build. A value type, copied into background tasks. Parsing never
/// throws: a document that is not valid JSON leaves the reader invalid and empty, and values of
/// the wrong JSON type take their defaults.
class TPackageConfigurationReader
{
public:
    /// An empty, invalid reader (no files, no chunks, empty texts).
    TPackageConfigurationReader() = default;
    /// Parses both documents at once; assetDocument may be empty when there is no asset package.
    TPackageConfigurationReader(QByteArray packageDocument, QByteArray assetDocument, QUrl packageBaseUrl,
                                QUrl assetsBaseUrl);

    const QUrl& packageBaseUrl() const { return m_packageBaseUrl; }
    const QUrl& assetsBaseUrl() const { return m_assetsBaseUrl; }
    const QString& version() const { return m_version; }
    const QString& assetsVersion() const { return m_assetsVersion; }
    EPackageGeneration generation() const { return m_generation; }
    EPackageVariant variant() const { return m_variant; }
    const QString& executable() const { return m_executable; }
    const QStringList& parameters() const { return m_parameters; }
    const TChunkInPackageVector& chunks() const { return m_chunks; }
    /// Sorted ascending by localFile.
    const TFileInPackageVector& files() const { return m_files; }
    const QByteArray& packageDocument() const { return m_packageDocument; }
    const QByteArray& assetDocument() const { return m_assetDocument; }
    /// True once both documents were parsed.
    bool isValid() const { return m_valid; }

    /// True when every chunk index of File refers into chunks(); otherwise the file's chunk
    /// list is invalid package data and only its whole-file download (if any) can be used.
    bool hasValidChunkIndices(const TFileInPackage& file) const;
    /// True when the file's chunk indices are valid and their unpacked sizes add up to the
    /// file's unpackedSize without overflow; a file without chunk indices passes.
    bool chunksAddUpToFileSize(const TFileInPackage& file) const;

private:
    void readPackageDocument(const QJsonObject& document);
    void readAssetDocument(const QJsonObject& document);
    void appendChunksAndFiles(const QJsonObject& document, const QUrl& baseUrl);
    void warnAboutUnusableChunkLists() const;

    QUrl m_packageBaseUrl;
    QUrl m_assetsBaseUrl;
    QString m_version;
    QString m_assetsVersion;
    EPackageGeneration m_generation = EPackageGeneration::Unknown;
    EPackageVariant m_variant = EPackageVariant::Unknown;
    QString m_executable;
    QStringList m_parameters;
    TChunkInPackageVector m_chunks;
    TFileInPackageVector m_files;
    QByteArray m_packageDocument;
    QByteArray m_assetDocument;
    bool m_valid = false;
};

} // namespace orvan::launcher
