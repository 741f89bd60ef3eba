#include "TPackageBuilder.h"

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

QJsonValue sizeValue(quint64 Size)
{
    return QJsonValue(static_cast<double>(Size));
}

QString hex(const QByteArray& Hash)
{
    return QString::fromLatin1(Hash.toHex());
}

/// The object keys of a chunk object, shared by chunks and files published as one object.
void putObjectKeys(QJsonObject& Target, const TStoredObject& Object)
{
    Target.insert(QStringLiteral("url"), Object.url);
    Target.insert(QStringLiteral("packedsize"), sizeValue(Object.packedSize));
    Target.insert(QStringLiteral("packedhash"), hex(Object.packedHash));
    Target.insert(QStringLiteral("unpack"), Object.unpack);
}

QJsonValue versionValue(const QString& Version)
{
    bool isNumber = false;
    const qint64 number = Version.toLongLong(&isNumber);
    return isNumber ? QJsonValue(static_cast<double>(number)) : QJsonValue(Version);
}

} // namespace

TPackageBuilder::TPackageBuilder(TBuildOptions Options) : m_options(std::move(Options)) {}

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

    const TObjectStore store(output.absolutePath(), m_options.algorithm, m_options.level,
                             m_options.verifyExistingObjects);
    TObjectQueue queue(store);
    const std::vector<TFileRecord> packageRecords = addFiles(packageFiles, queue);
    const int packageChunkCount = static_cast<int>(m_chunkSlots.size());
    const std::vector<TFileRecord> assetRecords = addFiles(assetFiles, queue);
    const std::vector<TStoredObject> objects = queue.finish();

    TBuildReport report;
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

    // The asset document first: a client that sees the new package document must find its assets.
    if (!m_options.assetsSourceDirectory.isEmpty()) {
        report.assetDocumentPath = output.filePath(m_options.assetFileName);
        writeDocument(report.assetDocumentPath, assetDocument(assetRecords, packageChunkCount, objects));
    }
    writeDocument(report.packageDocumentPath, packageDocument(packageRecords, packageChunkCount, objects));
    if (m_options.pruneObjects)
        report.objectsPruned = store.prune(referenced);
    return report;
}

std::vector<TPackageBuilder::TFileRecord> TPackageBuilder::addFiles(const std::vector<TSourceFile>& Files,
                                                                    TObjectQueue& Queue)
{
    std::vector<TFileRecord> records;
    records.reserve(Files.size());
    for (const TSourceFile& file : Files) {
        TFileRecord record =
            file.size > m_options.chunkThreshold ? addChunkedFile(file, Queue) : addWholeFile(file, Queue);
        record.localFile = file.localFile;
        record.executable = isExecutable(file);
        records.push_back(std::move(record));
    }
    return records;
}

TPackageBuilder::TFileRecord TPackageBuilder::addChunkedFile(const TSourceFile& File, TObjectQueue& Queue)
{
    TFileRecord record;
    shared::TSha256 fileHash;
    shared::TFileChunkScanner scanner;
    const auto result =
        scanner.scanFile(File.absolutePath, [&](const shared::TChunkPiece& Piece, const unsigned char* Data) {
            fileHash.addData(Data, static_cast<std::size_t>(Piece.size));
            const int slot = Queue.slotFor(Piece.sha256, Piece.size, [&] {
                return QByteArray(reinterpret_cast<const char*>(Data), static_cast<int>(Piece.size));
            });
            record.chunkIndices.push_back(chunkIndexFor(Piece.sha256, slot));
            record.size += Piece.size;
            return true;
        });
    if (result != shared::TFileChunkScanner::EResult::Completed)
        throw TPackBuildError(QStringLiteral("cannot read '%1': %2").arg(File.absolutePath, scanner.errorString()));
    record.hash = fileHash.result();
    return record;
}

TPackageBuilder::TFileRecord TPackageBuilder::addWholeFile(const TSourceFile& File, TObjectQueue& Queue)
{
    QFile input(File.absolutePath);
    if (!input.open(QIODevice::ReadOnly))
        throw TPackBuildError(QStringLiteral("cannot open '%1': %2").arg(File.absolutePath, input.errorString()));
    const QByteArray content = input.readAll();
    if (input.error() != QFileDevice::NoError)
        throw TPackBuildError(QStringLiteral("cannot read '%1': %2").arg(File.absolutePath, input.errorString()));
    TFileRecord record;
    record.size = static_cast<quint64>(content.size());
    record.hash = shared::TSha256::hash(content);
    record.objectSlot = Queue.slotFor(record.hash, record.size, [&content] { return content; });
    return record;
}

int TPackageBuilder::chunkIndexFor(const QByteArray& Hash, int ObjectSlot)
{
    const auto known = m_chunkIndexByHash.constFind(Hash);
    if (known != m_chunkIndexByHash.constEnd())
        return known.value();
    m_chunkSlots.push_back(ObjectSlot);
    const int index = static_cast<int>(m_chunkSlots.size()) - 1;
    m_chunkIndexByHash.insert(Hash, index);
    return index;
}

bool TPackageBuilder::isExecutable(const TSourceFile& File) const
{
    return m_options.executableFiles.contains(File.localFile) ||
           (m_options.executableBitsFromSource && File.executableBit);
}

QString TPackageBuilder::detectExecutable(const std::vector<TSourceFile>& Files) const
{
    // Only an unambiguous choice is made: exactly one executable file at the top of the folder.
    QString found;
    for (const TSourceFile& file : Files) {
        if (file.localFile.contains(QLatin1Char('/')) || !isExecutable(file))
            continue;
        if (!found.isEmpty())
            return QString();
        found = file.localFile;
    }
    return found;
}

QJsonArray TPackageBuilder::chunksJson(int First, int Last, const std::vector<TStoredObject>& Objects) const
{
    QJsonArray chunks;
    for (int index = First; index < Last; ++index) {
        const TStoredObject& object = Objects[static_cast<std::size_t>(m_chunkSlots[static_cast<std::size_t>(index)])];
        QJsonObject chunk;
        putObjectKeys(chunk, object);
        chunk.insert(QStringLiteral("unpackedsize"), sizeValue(object.unpackedSize));
        chunk.insert(QStringLiteral("unpackedhash"), hex(object.unpackedHash));
        chunks.append(chunk);
    }
    return chunks;
}

QJsonArray TPackageBuilder::filesJson(const std::vector<TFileRecord>& Files,
                                      const std::vector<TStoredObject>& Objects) const
{
    QJsonArray array;
    for (const TFileRecord& record : Files) {
        QJsonObject file;
        file.insert(QStringLiteral("localfile"), record.localFile);
        file.insert(QStringLiteral("unpackedsize"), sizeValue(record.size));
        file.insert(QStringLiteral("unpackedhash"), hex(record.hash));
        file.insert(QStringLiteral("executable"), record.executable);
        if (record.objectSlot >= 0) {
            putObjectKeys(file, Objects[static_cast<std::size_t>(record.objectSlot)]);
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

QJsonObject TPackageBuilder::packageDocument(const std::vector<TFileRecord>& Files, int ChunkCount,
                                             const std::vector<TStoredObject>& Objects) const
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
    document.insert(QStringLiteral("chunks"), chunksJson(0, ChunkCount, Objects));
    document.insert(QStringLiteral("files"), filesJson(Files, Objects));
    const QString version = m_options.version.value_or(QString());
    document.insert(QStringLiteral("version"), version.isEmpty() ? contentVersion(document) : version);
    return document;
}

QJsonObject TPackageBuilder::assetDocument(const std::vector<TFileRecord>& Files, int FirstChunk,
                                           const std::vector<TStoredObject>& Objects) const
{
    // Asset files name chunks by their index in the combined list (package chunks first), which
    // is how the launcher reads them.
    QJsonObject document;
    document.insert(QStringLiteral("chunks"), chunksJson(FirstChunk, static_cast<int>(m_chunkSlots.size()), Objects));
    document.insert(QStringLiteral("files"), filesJson(Files, Objects));
    insertVersion(document, m_options.assetsVersion);
    return document;
}

void TPackageBuilder::insertVersion(QJsonObject& Document, const std::optional<QString>& Version)
{
    const QString text = Version.value_or(QString());
    Document.insert(QStringLiteral("version"),
                    text.isEmpty() ? QJsonValue(contentVersion(Document)) : versionValue(text));
}

QString TPackageBuilder::contentVersion(const QJsonObject& Document)
{
    return hex(shared::TSha256::hash(QJsonDocument(Document).toJson(QJsonDocument::Compact))).left(12);
}

void TPackageBuilder::writeDocument(const QString& Path, const QJsonObject& Document)
{
    const QByteArray data = QJsonDocument(Document).toJson(QJsonDocument::Indented);
    QSaveFile file(Path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        throw TPackBuildError(QStringLiteral("cannot write '%1': %2").arg(Path, file.errorString()));
}

} // namespace packbuilder
