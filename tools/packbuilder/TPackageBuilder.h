#pragma once

#include "TBuildOptions.h"
#include "TBuildReport.h"
#include "TPublishedDelta.h"
#include "TSourceFile.h"
#include "TStoredObject.h"

#include <QByteArray>
#include <QHash>
#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <optional>

#include <vector>

namespace packbuilder {

class TDeltaHistory;
class TObjectQueue;
class TObjectStore;

/// Builds the published form of a package from a source folder: the objects in the output
/// folder's content-addressed store and the package configuration document (plus the asset
/// document when an asset folder is given) that describe them. Files above the chunk threshold
/// are cut with the same content-defined chunking as the launcher uses, so that the launcher can
/// find the chunks again in an older local copy; smaller files are one object each. The documents
/// are replaced atomically and only after every object they name is in place.
class TPackageBuilder
{
public:
    explicit TPackageBuilder(TBuildOptions options);

    /// Throws TPackBuildError on any failure; the documents already published then stay as they were.
    TBuildReport build();

private:
    struct TFileRecord
    {
        QString localFile;
        QString sourcePath;
        quint64 size = 0;
        QByteArray hash;
        bool executable = false;
        /// Combined chunk indices; empty for a file published as one object.
        std::vector<int> chunkIndices;
        int objectSlot = -1;
    };

    std::vector<TFileRecord> addFiles(const std::vector<TSourceFile>& files, TObjectQueue& queue);
    TFileRecord addChunkedFile(const TSourceFile& file, TObjectQueue& queue);
    TFileRecord addWholeFile(const TSourceFile& file, TObjectQueue& queue);
    int chunkIndexFor(const QByteArray& hash, int objectSlot);
    bool isExecutable(const TSourceFile& file) const;
    QString detectExecutable(const std::vector<TSourceFile>& files) const;

    /// The chunk list of each chunked file of Records, as the history and the deltas see them.
    std::vector<std::pair<QString, std::vector<TPublishedLayout::TChunkRef>>>
    chunkLists(const std::vector<TFileRecord>& records, const std::vector<TStoredObject>& objects) const;
    void buildDeltas(const TObjectStore& store, const TDeltaHistory& history, const std::vector<TFileRecord>& records,
                     const std::vector<TStoredObject>& objects, TBuildReport& report);
    static QJsonArray deltasJson(const std::vector<TPublishedDelta>& deltas);

    QJsonArray chunksJson(int first, int last, const std::vector<TStoredObject>& objects) const;
    QJsonArray filesJson(const std::vector<TFileRecord>& files, const std::vector<TStoredObject>& objects) const;
    QJsonObject packageDocument(const std::vector<TFileRecord>& files, int chunkCount,
                                const std::vector<TStoredObject>& objects) const;
    QJsonObject assetDocument(const std::vector<TFileRecord>& files, int firstChunk,
                              const std::vector<TStoredObject>& objects) const;
    /// Puts Version into an asset document, a number when it is one; without a version, the
    /// content's version.
    static void insertVersion(QJsonObject& document, const std::optional<QString>& version);
    /// 12 hex digits of the SHA-256 of the document: any change of the content changes it.
    static QString contentVersion(const QJsonObject& document);
    static void writeDocument(const QString& path, const QJsonObject& document);

    TBuildOptions m_options;
    /// Object slot of each chunk of the combined chunk list.
    std::vector<int> m_chunkSlots;
    QHash<QByteArray, int> m_chunkIndexByHash;
    /// The deltas of this build, by the raw SHA-256 of their chunk.
    QHash<QByteArray, std::vector<TPublishedDelta>> m_deltas;
};

} // namespace packbuilder
