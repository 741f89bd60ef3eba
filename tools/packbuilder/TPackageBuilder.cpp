#include "TPackageBuilder.h"

#include "TDeltaBuilder.h"
#include "TDeltaHistory.h"
#include "TObjectQueue.h"
#include "TObjectStore.h"
#include "TPackBuildError.h"

#include "chunking/TFileChunkScanner.h"
#include "hash/TSha256.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QSaveFile>
#include <QSet>

#include <utility>

namespace packbuilder {

namespace {

QJsonValue sizeValue(quint64 size)
{
    return QJsonValue(static_cast<double>(size));
}

QString hex(const QByteArray& hash)
{
    return QString::fromLatin1(hash.toHex());
}

/// The object keys of a chunk object, shared by chunks and files published as one object.
void putObjectKeys(QJsonObject& target, const TStoredObject& object)
{
    target.insert(QStringLiteral("url"), object.url);
    target.insert(QStringLiteral("packedsize"), sizeValue(object.packedSize));
    target.insert(QStringLiteral("packedhash"), hex(object.packedHash));
    target.insert(QStringLiteral("unpack"), object.unpack);
}

QJsonValue versionValue(const QString& version)
{
    bool isNumber = false;
    const qint64 number = version.toLongLong(&isNumber);
    return isNumber ? QJsonValue(static_cast<double>(number)) : QJsonValue(version);
}

} // namespace

TPackageBuilder::TPackageBuilder(TBuildOptions options) : m_options(std::move(options)) {}

TBuildReport TPackageBuilder::build()
{
    m_options.applyDescriptionFileOfSource();
    m_options.validate();
    const QDir output(m_options.outputDirectory);
    if (!QDir().mkpath(output.absolutePath()))
        throw TPackBuildError(QStringLiteral("cannot create folder '%1'").arg(m_options.outputDirectory));

    // An output folder inside a source folder must not publish itself.
    const QString outputPath = output.absolutePath();
    const std::vector<TSourceFile> packageFiles =
        TSourceFile::list(m_options.sourceDirectory, {TBuildOptions::DescriptionFileName}, outputPath);
    std::vector<TSourceFile> assetFiles;
    if (!m_options.assetsSourceDirectory.isEmpty())
        assetFiles =
            TSourceFile::list(m_options.assetsSourceDirectory, {TBuildOptions::DescriptionFileName}, outputPath);
    QSet<QString> packageNames;
    for (const TSourceFile& file : packageFiles)
        packageNames.insert(file.localFile);
    for (const TSourceFile& file : assetFiles) {
        if (packageNames.contains(file.localFile))
            throw TPackBuildError(
                QStringLiteral("'%1' is in both the package and the asset folder").arg(file.localFile));
    }
    if (!m_options.executable)
        m_options.executable = detectExecutable(packageFiles);

    // What the folder published before, read before anything of this build replaces it.
    const TDeltaHistory history(output, m_options.packageFileName, m_options.assetFileName, m_options.deltaHistory);
    const TObjectStore store(output.absolutePath(), m_options.algorithm, m_options.level,
                             m_options.verifyExistingObjects);
    TObjectQueue queue(store);
    std::vector<TFileRecord> records = addFiles(packageFiles, queue);
    const int packageChunkCount = static_cast<int>(m_chunkSlots.size());
    const std::size_t packageFileCount = records.size();
    for (TFileRecord& record : addFiles(assetFiles, queue))
        records.push_back(std::move(record));
    const std::vector<TStoredObject> objects = queue.finish();

    TBuildReport report;
    if (!history.versions().empty())
        buildDeltas(store, history, records, objects, report);
    store.syncToDisk();
    const std::vector<TFileRecord> assetRecords(records.begin() + static_cast<std::ptrdiff_t>(packageFileCount),
                                                records.end());
    records.resize(packageFileCount);
    const std::vector<TFileRecord>& packageRecords = records;

    report.packageDocumentPath = output.filePath(m_options.packageFileName);
    report.fileCount = static_cast<int>(packageRecords.size() + assetRecords.size());
    report.chunkCount = static_cast<int>(m_chunkSlots.size());
    QSet<QString> referenced;
    for (const TStoredObject& object : objects) {
        referenced.insert(object.url);
        report.contentBytes += object.unpackedSize;
        if (object.reused) {
            ++report.objectsReused;
        } else {
            ++report.objectsWritten;
            report.bytesWritten += object.packedSize;
        }
    }
    for (const std::vector<TPublishedDelta>& deltas : qAsConst(m_deltas)) {
        for (const TPublishedDelta& delta : deltas)
            referenced.insert(delta.url);
    }

    // The asset document first: a client that sees the new package document must find its assets.
    if (!m_options.assetsSourceDirectory.isEmpty()) {
        report.assetDocumentPath = output.filePath(m_options.assetFileName);
        writeDocument(report.assetDocumentPath, assetDocument(assetRecords, packageChunkCount, objects));
    }
    const QJsonObject document = packageDocument(packageRecords, packageChunkCount, objects);
    writeDocument(report.packageDocumentPath, document);
    if (m_options.deltaHistory > 0) {
        std::vector<TPublishedLayout> versions{
            {document.value(QStringLiteral("version")).toString(), chunkLists(packageRecords, objects)}};
        for (const auto& file : chunkLists(assetRecords, objects))
            versions.front().files.push_back(file);
        for (const TPublishedLayout& older : history.versions()) {
            if (static_cast<int>(versions.size()) < m_options.deltaHistory && older.version != versions.front().version)
                versions.push_back(older);
        }
        TDeltaHistory::write(output, m_options.packageFileName, versions);
    }
    if (m_options.pruneObjects)
        report.objectsPruned = store.prune(referenced);
    return report;
}

std::vector<TPackageBuilder::TFileRecord> TPackageBuilder::addFiles(const std::vector<TSourceFile>& files,
                                                                    TObjectQueue& queue)
{
    std::vector<TFileRecord> records;
    records.reserve(files.size());
    for (const TSourceFile& file : files) {
        TFileRecord record =
            file.size > m_options.chunkThreshold ? addChunkedFile(file, queue) : addWholeFile(file, queue);
        record.localFile = file.localFile;
        record.sourcePath = file.absolutePath;
        record.executable = isExecutable(file);
        records.push_back(std::move(record));
    }
    return records;
}

TPackageBuilder::TFileRecord TPackageBuilder::addChunkedFile(const TSourceFile& file, TObjectQueue& queue)
{
    TFileRecord record;
    shared::TSha256 fileHash;
    shared::TFileChunkScanner scanner;
    const auto result =
        scanner.scanFile(file.absolutePath, [&](const shared::TChunkPiece& piece, const unsigned char* data) {
            fileHash.addData(data, static_cast<std::size_t>(piece.size));
            const int slot = queue.slotFor(piece.sha256, piece.size, [&] {
                return QByteArray(reinterpret_cast<const char*>(data), static_cast<int>(piece.size));
            });
            record.chunkIndices.push_back(chunkIndexFor(piece.sha256, slot));
            record.size += piece.size;
            return true;
        });
    if (result != shared::TFileChunkScanner::EResult::Completed)
        throw TPackBuildError(QStringLiteral("cannot read '%1': %2").arg(file.absolutePath, scanner.errorString()));
    record.hash = fileHash.result();
    return record;
}

TPackageBuilder::TFileRecord TPackageBuilder::addWholeFile(const TSourceFile& file, TObjectQueue& queue)
{
    QFile input(file.absolutePath);
    if (!input.open(QIODevice::ReadOnly))
        throw TPackBuildError(QStringLiteral("cannot open '%1': %2").arg(file.absolutePath, input.errorString()));
    const QByteArray content = input.readAll();
    if (input.error() != QFileDevice::NoError)
        throw TPackBuildError(QStringLiteral("cannot read '%1': %2").arg(file.absolutePath, input.errorString()));
    TFileRecord record;
    record.size = static_cast<quint64>(content.size());
    record.hash = shared::TSha256::hash(content);
    record.objectSlot = queue.slotFor(record.hash, record.size, [&content] { return content; });
    return record;
}

int TPackageBuilder::chunkIndexFor(const QByteArray& hash, int objectSlot)
{
    const auto known = m_chunkIndexByHash.constFind(hash);
    if (known != m_chunkIndexByHash.constEnd())
        return known.value();
    m_chunkSlots.push_back(objectSlot);
    const int index = static_cast<int>(m_chunkSlots.size()) - 1;
    m_chunkIndexByHash.insert(hash, index);
    return index;
}

bool TPackageBuilder::isExecutable(const TSourceFile& file) const
{
    return m_options.executableFiles.contains(file.localFile) ||
           (m_options.executableBitsFromSource && file.executableBit);
}

QString TPackageBuilder::detectExecutable(const std::vector<TSourceFile>& files) const
{
    // Only an unambiguous choice is made: exactly one executable file at the top of the folder.
    QString found;
    for (const TSourceFile& file : files) {
        if (file.localFile.contains(QLatin1Char('/')) || !isExecutable(file))
            continue;
        if (!found.isEmpty())
            return QString();
        found = file.localFile;
    }
    return found;
}

std::vector<std::pair<QString, std::vector<TPublishedLayout::TChunkRef>>>
TPackageBuilder::chunkLists(const std::vector<TFileRecord>& records, const std::vector<TStoredObject>& objects) const
{
    std::vector<std::pair<QString, std::vector<TPublishedLayout::TChunkRef>>> lists;
    for (const TFileRecord& record : records) {
        if (record.chunkIndices.size() < 2)
            continue;
        std::vector<TPublishedLayout::TChunkRef> chunks;
        for (const int index : record.chunkIndices) {
            const TStoredObject& object =
                objects[static_cast<std::size_t>(m_chunkSlots[static_cast<std::size_t>(index)])];
            chunks.push_back({object.unpackedHash, object.unpackedSize});
        }
        lists.emplace_back(record.localFile, std::move(chunks));
    }
    return lists;
}

void TPackageBuilder::buildDeltas(const TObjectStore& store, const TDeltaHistory& history,
                                  const std::vector<TFileRecord>& records, const std::vector<TStoredObject>& objects,
                                  TBuildReport& report)
{
    std::vector<TDeltaBuilder::TNewFile> files;
    const auto lists = chunkLists(records, objects);
    std::size_t list = 0;
    for (const TFileRecord& record : records) {
        if (record.chunkIndices.size() >= 2)
            files.push_back({record.localFile, record.sourcePath, lists[list++].second});
    }
    QHash<QByteArray, quint64> packedSizes;
    for (const TStoredObject& object : objects)
        packedSizes.insert(object.unpackedHash, object.packedSize);
    TDeltaBuilder::TResult result = TDeltaBuilder(store, history, m_options.deltaLevel).build(files, packedSizes);
    m_deltas = std::move(result.deltas);
    report.deltasWritten = result.written;
    report.deltasReused = result.reused;
    report.deltaBytesWritten = result.bytesWritten;
}

QJsonArray TPackageBuilder::deltasJson(const std::vector<TPublishedDelta>& deltas)
{
    QJsonArray array;
    for (const TPublishedDelta& delta : deltas) {
        QJsonArray from;
        for (const QByteArray& hash : delta.from)
            from.append(hex(hash));
        array.append(QJsonObject{{QStringLiteral("from"), from},
                                 {QStringLiteral("url"), delta.url},
                                 {QStringLiteral("size"), sizeValue(delta.size)},
                                 {QStringLiteral("sha256"), hex(delta.sha256)}});
    }
    return array;
}

QJsonArray TPackageBuilder::chunksJson(int first, int last, const std::vector<TStoredObject>& objects) const
{
    QJsonArray chunks;
    for (int index = first; index < last; ++index) {
        const TStoredObject& object = objects[static_cast<std::size_t>(m_chunkSlots[static_cast<std::size_t>(index)])];
        QJsonObject chunk;
        putObjectKeys(chunk, object);
        chunk.insert(QStringLiteral("unpackedsize"), sizeValue(object.unpackedSize));
        chunk.insert(QStringLiteral("unpackedhash"), hex(object.unpackedHash));
        const auto deltas = m_deltas.constFind(object.unpackedHash);
        if (deltas != m_deltas.constEnd())
            chunk.insert(QStringLiteral("deltas"), deltasJson(deltas.value()));
        chunks.append(chunk);
    }
    return chunks;
}

QJsonArray TPackageBuilder::filesJson(const std::vector<TFileRecord>& files,
                                      const std::vector<TStoredObject>& objects) const
{
    QJsonArray array;
    for (const TFileRecord& record : files) {
        QJsonObject file;
        file.insert(QStringLiteral("localfile"), record.localFile);
        file.insert(QStringLiteral("unpackedsize"), sizeValue(record.size));
        file.insert(QStringLiteral("unpackedhash"), hex(record.hash));
        file.insert(QStringLiteral("executable"), record.executable);
        if (record.objectSlot >= 0) {
            putObjectKeys(file, objects[static_cast<std::size_t>(record.objectSlot)]);
        } else {
            QJsonArray indices;
            for (const int index : record.chunkIndices)
                indices.append(index);
            file.insert(QStringLiteral("chunks"), indices);
        }
        array.append(file);
    }
    return array;
}

QJsonObject TPackageBuilder::packageDocument(const std::vector<TFileRecord>& files, int chunkCount,
                                             const std::vector<TStoredObject>& objects) const
{
    QJsonObject document;
    if (m_options.executable && !m_options.executable->isEmpty())
        document.insert(QStringLiteral("executable"), *m_options.executable);
    if (m_options.generation && !m_options.generation->isEmpty())
        document.insert(QStringLiteral("generation"), *m_options.generation);
    if (m_options.variant && !m_options.variant->isEmpty())
        document.insert(QStringLiteral("variant"), *m_options.variant);
    if (m_options.parameters)
        document.insert(QStringLiteral("parameters"), QJsonArray::fromStringList(*m_options.parameters));
    document.insert(QStringLiteral("chunks"), chunksJson(0, chunkCount, objects));
    document.insert(QStringLiteral("files"), filesJson(files, objects));
    const QString version = m_options.version.value_or(QString());
    document.insert(QStringLiteral("version"), version.isEmpty() ? contentVersion(document) : version);
    return document;
}

QJsonObject TPackageBuilder::assetDocument(const std::vector<TFileRecord>& files, int firstChunk,
                                           const std::vector<TStoredObject>& objects) const
{
    // Asset files name chunks by their index in the combined list (package chunks first), which
    // is how the launcher reads them.
    QJsonObject document;
    document.insert(QStringLiteral("chunks"), chunksJson(firstChunk, static_cast<int>(m_chunkSlots.size()), objects));
    document.insert(QStringLiteral("files"), filesJson(files, objects));
    insertVersion(document, m_options.assetsVersion);
    return document;
}

void TPackageBuilder::insertVersion(QJsonObject& document, const std::optional<QString>& version)
{
    const QString text = version.value_or(QString());
    document.insert(QStringLiteral("version"),
                    text.isEmpty() ? QJsonValue(contentVersion(document)) : versionValue(text));
}

QString TPackageBuilder::contentVersion(const QJsonObject& document)
{
    return hex(shared::TSha256::hash(QJsonDocument(document).toJson(QJsonDocument::Compact))).left(12);
}

void TPackageBuilder::writeDocument(const QString& path, const QJsonObject& document)
{
    const QByteArray data = QJsonDocument(document).toJson(QJsonDocument::Indented);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        throw TPackBuildError(QStringLiteral("cannot write '%1': %2").arg(path, file.errorString()));
}

} // namespace packbuilder
