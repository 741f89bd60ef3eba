#include "support/PackageTestData.h"

#include "chunking/TContentDefinedChunker.h"
#include "chunking/chunkingGearTable.h"
#include "packbuilder/TPackageBuilder.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QUrl>

#include <stdexcept>

namespace packagetest {

namespace {

/// Three bytes that, hashed from zero, first leave the low 22 bits of the hash zero at the third.
QByteArray cutMarker()
{
    const auto& gear = shared::chunkingGearTable;
    const std::uint32_t mask = shared::TContentDefinedChunker::CutMask;
    for (int a = 0; a < 256; ++a) {
        const std::uint32_t first = gear[a];
        if ((first & mask) == 0)
            continue;
        for (int b = 0; b < 256; ++b) {
            const std::uint32_t second = (first >> 1) + gear[b];
            if ((second & mask) == 0)
                continue;
            for (int c = 0; c < 256; ++c) {
                if ((((second >> 1) + gear[c]) & mask) == 0)
                    return QByteArray(1, char(a)) + char(b) + char(c);
            }
        }
    }
    throw std::logic_error("no three-byte cut marker");
}

} // namespace

const int BlockSize = static_cast<int>(shared::TContentDefinedChunker::MinimumChunkSize) + 3;

QByteArray chunkBlock(quint64 seed)
{
    static const QByteArray marker = cutMarker();
    return pseudoRandom(static_cast<int>(shared::TContentDefinedChunker::MinimumChunkSize), seed) + marker;
}

QByteArray blocks(std::initializer_list<quint64> seeds)
{
    QByteArray data;
    for (const quint64 seed : seeds)
        data += chunkBlock(seed);
    return data;
}

packbuilder::TBuildOptions testBuildOptions(const QString& source, const QString& output, const QString& version)
{
    packbuilder::TBuildOptions options;
    options.sourceDirectory = source;
    options.outputDirectory = output;
    options.version = version;
    options.algorithm = shared::EContainerAlgorithm::Stored;
    options.chunkThreshold = shared::TContentDefinedChunker::MinimumChunkSize;
    return options;
}

TPackageConfigurationReader buildPackage(const QString& source, const QString& output, const QString& version)
{
    return buildPackage(testBuildOptions(source, output, version));
}

TPackageConfigurationReader buildPackage(const packbuilder::TBuildOptions& options)
{
    packbuilder::TPackageBuilder(options).build();
    return readPackage(options.outputDirectory,
                       options.assetsSourceDirectory.isEmpty() ? QString() : options.assetFileName);
}

TPackageConfigurationReader readPackage(const QString& output, const QString& assetFileName)
{
    const QDir folder(output);
    const QUrl base = QUrl::fromLocalFile(folder.absolutePath());
    return TPackageConfigurationReader(
        readFile(folder.filePath(QStringLiteral("package.json"))),
        assetFileName.isEmpty() ? QByteArray() : readFile(folder.filePath(assetFileName)), base, base);
}

QByteArray editFile(const QByteArray& document, const QString& localFile, const std::function<void(QJsonObject&)>& edit)
{
    QJsonObject root = QJsonDocument::fromJson(document).object();
    QJsonArray files = root.value(QStringLiteral("files")).toArray();
    for (int index = 0; index < files.size(); ++index) {
        QJsonObject file = files.at(index).toObject();
        if (file.value(QStringLiteral("localfile")).toString() == localFile) {
            edit(file);
            files.replace(index, file);
        }
    }
    root.insert(QStringLiteral("files"), files);
    return QJsonDocument(root).toJson();
}

} // namespace packagetest
