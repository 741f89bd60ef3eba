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

QByteArray chunkBlock(quint64 Seed)
{
    static const QByteArray marker = cutMarker();
    return pseudoRandom(static_cast<int>(shared::TContentDefinedChunker::MinimumChunkSize), Seed) + marker;
}

QByteArray blocks(std::initializer_list<quint64> Seeds)
{
    QByteArray data;
    for (const quint64 seed : Seeds)
        data += chunkBlock(seed);
    return data;
}

packbuilder::TBuildOptions testBuildOptions(const QString& Source, const QString& Output, const QString& Version)
{
    packbuilder::TBuildOptions options;
    options.sourceDirectory = Source;
    options.outputDirectory = Output;
    options.version = Version;
    options.algorithm = shared::EContainerAlgorithm::Stored;
    options.chunkThreshold = shared::TContentDefinedChunker::MinimumChunkSize;
    return options;
}

TPackageConfigurationReader buildPackage(const QString& Source, const QString& Output, const QString& Version)
{
    return buildPackage(testBuildOptions(Source, Output, Version));
}

TPackageConfigurationReader buildPackage(const packbuilder::TBuildOptions& Options)
{
    packbuilder::TPackageBuilder(Options).build();
    return readPackage(Options.outputDirectory,
                       Options.assetsSourceDirectory.isEmpty() ? QString() : Options.assetFileName);
}

TPackageConfigurationReader readPackage(const QString& Output, const QString& AssetFileName)
{
    const QDir output(Output);
    const QUrl base = QUrl::fromLocalFile(output.absolutePath());
    return TPackageConfigurationReader(
        readFile(output.filePath(QStringLiteral("package.json"))),
        AssetFileName.isEmpty() ? QByteArray() : readFile(output.filePath(AssetFileName)), base, base);
}

QByteArray editFile(const QByteArray& Document, const QString& LocalFile, const std::function<void(QJsonObject&)>& Edit)
{
    QJsonObject root = QJsonDocument::fromJson(Document).object();
    QJsonArray files = root.value(QStringLiteral("files")).toArray();
    for (int index = 0; index < files.size(); ++index) {
        QJsonObject file = files.at(index).toObject();
        if (file.value(QStringLiteral("localfile")).toString() == LocalFile) {
            Edit(file);
            files.replace(index, file);
        }
    }
    root.insert(QStringLiteral("files"), files);
    return QJsonDocument(root).toJson();
}

} // namespace packagetest
