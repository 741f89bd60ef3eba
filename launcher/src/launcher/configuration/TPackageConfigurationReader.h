#pragma once

#include "EPackageGeneration.h"
#include "EPackageVariant.h"
#include "TChunkInPackageVector.h"
#include "TFileInPackageVector.h"

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <memory>

class QJsonDocument;
class QJsonObject;

namespace orvan::launcher {

class TJsonObjectOutline;

/// A parsed package configuration document together with its optional asset document: the
/// files and chunks of one build. A value type, copied into background tasks; copies share the
/// parsed records, which never change after parsing, so a copy costs one reference count however
/// large the documents are. Parsing never throws: a document that is not valid JSON, or one with
/// more records than MaximumRecordCount, leaves the reader invalid and empty, and values of the
/// wrong JSON type take their defaults.
class TPackageConfigurationReader
{
public:
    /// The most files and chunks, over both documents, that a reader takes. Parsing, scanning and
    /// planning cost about 2 KiB per whole-file record at their peak, so the largest accepted
    /// package stays near 1 GiB; a document with more is refused as if it could not be parsed.
    static constexpr int MaximumRecordCount = 500000;

    /// An empty, invalid reader (no files, no chunks, empty texts).
    TPackageConfigurationReader();
    /// Parses both documents at once; assetDocument may be empty when there is no asset package.
    /// RecordAllowance lowers the record cap further, for a caller that bounds the records of
    /// several readers together; a document over it is refused like one over MaximumRecordCount.
    TPackageConfigurationReader(QByteArray packageDocument, QByteArray assetDocument, QUrl packageBaseUrl,
                                QUrl assetsBaseUrl, int recordAllowance = MaximumRecordCount);

    const QUrl& packageBaseUrl() const { return m_content->packageBaseUrl; }
    const QUrl& assetsBaseUrl() const { return m_content->assetsBaseUrl; }
    const QString& version() const { return m_content->version; }
    const QString& assetsVersion() const { return m_content->assetsVersion; }
    EPackageGeneration generation() const { return m_content->generation; }
    EPackageVariant variant() const { return m_content->variant; }
    const QString& executable() const { return m_content->executable; }
    const QStringList& parameters() const { return m_content->parameters; }
    const TChunkInPackageVector& chunks() const { return m_content->chunks; }
    /// Sorted ascending by localFile.
    const TFileInPackageVector& files() const { return m_content->files; }
    const QByteArray& packageDocument() const { return m_content->packageDocument; }
    const QByteArray& assetDocument() const { return m_content->assetDocument; }
    /// True once both documents were parsed.
    bool isValid() const { return m_content->valid; }
    /// The files and chunks held, the measure of the record caps.
    qint64 recordCount() const;

    /// True when every chunk index of File refers into chunks(); otherwise the file's chunk
    /// list is invalid package data and only its whole-file download (if any) can be used.
    bool hasValidChunkIndices(const TFileInPackage& file) const;
    /// True when the file's chunk indices are valid and their unpacked sizes add up to the
    /// file's unpackedSize without overflow; a file without chunk indices passes.
    bool chunksAddUpToFileSize(const TFileInPackage& file) const;

    /// Parses both documents whole, as the reader checks them: false, after logging why, when
    /// either can't be parsed or together they list more than MaximumRecordCount records. An empty
    /// asset document is left out.
    static bool parseCheckedDocuments(const QByteArray& packageDocument, const QByteArray& assetDocument,
                                      QJsonDocument& package, QJsonDocument& asset);

private:
    /// Everything parsed from the documents; shared by all copies of a reader and never changed
    /// once the constructor has finished.
    struct TContent
    {
        QUrl packageBaseUrl;
        QUrl assetsBaseUrl;
        QString version;
        QString assetsVersion;
        EPackageGeneration generation = EPackageGeneration::Unknown;
        EPackageVariant variant = EPackageVariant::Unknown;
        QString executable;
        QStringList parameters;
        TChunkInPackageVector chunks;
        TFileInPackageVector files;
        QByteArray packageDocument;
        QByteArray assetDocument;
        bool valid = false;
    };

    /// Parses both documents whole; false (after logging why) when the reader stays invalid.
    static bool readWhole(TContent& content, int recordLimit);
    /// Parses both documents from their outlines, the record lists a batch at a time; false
    /// (after logging why) when the reader stays invalid.
    static bool readInParts(const TJsonObjectOutline& package, const TJsonObjectOutline* asset, TContent& content,
                            int recordLimit);
    /// Parses every batch of the record lists of Outline and appends their records to Content;
    /// with no Content the batches are only checked. False when a batch is not valid JSON.
    static bool readRecordLists(const TJsonObjectOutline& outline, const QUrl& baseUrl, TContent* content);
    static bool parseCheckedDocuments(const QByteArray& packageDocument, const QByteArray& assetDocument,
                                      QJsonDocument& package, QJsonDocument& asset, int recordLimit);
    /// Logs the refusal of a document with more than RecordLimit records.
    static bool acceptsRecordCount(qint64 records, int recordLimit);
    static void readPackageDocument(const QJsonObject& document, TContent& content);
    static void readAssetDocument(const QJsonObject& document, TContent& content);
    static void appendChunksAndFiles(const QJsonObject& document, const QUrl& baseUrl, TContent& content);
    void warnAboutUnusableChunkLists() const;

    std::shared_ptr<const TContent> m_content;
};

} // namespace orvan::launcher
