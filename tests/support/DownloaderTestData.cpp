#include "support/DownloaderTestData.h"

#include "compression/EContainerAlgorithm.h"
#include "compression/TContainerEncoder.h"
#include "hash/TSha256.h"
#include "settings/TLauncherFilesystemHelper.h"
#include "support/TTestHttpServer.h"

#include <QDir>

namespace downloadertest {

std::shared_ptr<orvan::launcher::TLauncherFilesystemHelper> makeHelper(const QString& Directory,
                                                                       const TTestSettings& Settings)
{
    QByteArray ini = "[DIRECTORIES]\npackages=packages\nsettingsTarget=QuenmarOnlineClient_Data/Data/Settings\n"
                     "[FILES]\npackageFile=package.json\npartialPackageFile=partial-package.json\n"
                     "assetFile=assets.json\naccountGroupFile=accountgroup.json\n[OPTIONS]\n";
    const auto boolText = [](bool Value) { return QByteArray(Value ? "true" : "false"); };
    if (Settings.maxCachedChunks)
        ini += "maxCachedChunks=" + QByteArray::number(*Settings.maxCachedChunks) + '\n';
    if (Settings.maxConcurrentDownloads)
        ini += "maxConcurrentDownloads=" + QByteArray::number(*Settings.maxConcurrentDownloads) + '\n';
    if (Settings.skipVerification)
        ini += "skipVerification=" + boolText(*Settings.skipVerification) + '\n';
    if (Settings.fastScan)
        ini += "fastScan=" + boolText(*Settings.fastScan) + '\n';
    ini += "[DEBUG]\n";
    if (Settings.chunkVerification)
        ini += "chunkVerification=" + boolText(*Settings.chunkVerification) + '\n';
    const QString path = QDir(Directory).filePath(QStringLiteral("launchersettings.ini"));
    writeFile(path, ini);
    return std::make_shared<orvan::launcher::TLauncherFilesystemHelper>(path);
}

TServedChunk makeChunk(const testsupport::TTestHttpServer& Server, const QString& Path, const QByteArray& Content,
                       int Algorithm)
{
    TServedChunk served;
    served.content = Content;
    served.path = Path;
    served.body = Algorithm < 0
                      ? Content
                      : shared::TContainerEncoder::encode(Content, static_cast<shared::EContainerAlgorithm>(Algorithm));
    served.chunk.url = Server.url(Path);
    served.chunk.packedSize = static_cast<quint64>(served.body.size());
    served.chunk.packedHash = shared::TSha256::hash(served.body);
    served.chunk.unpackedSize = static_cast<quint64>(Content.size());
    served.chunk.unpackedHash = shared::TSha256::hash(Content);
    served.chunk.unpack = Algorithm >= 0;
    return served;
}

TFileToDownload fileOf(const QString& LocalFile, const std::vector<const TServedChunk*>& Chunks,
                       std::vector<qint32> Positions, bool Executable)
{
    TFileToDownload file;
    file.localFile = LocalFile;
    file.executable = Executable;
    for (const TServedChunk* chunk : Chunks)
        file.chunks.push_back(chunk->chunk);
    const QByteArray content = contentOf(Chunks);
    file.unpackedSize = static_cast<quint64>(content.size());
    file.unpackedHash = shared::TSha256::hash(content);
    if (Positions.empty()) {
        for (std::size_t position = 0; position < Chunks.size(); ++position)
            Positions.push_back(static_cast<qint32>(position));
    }
    file.chunksToDownload = std::move(Positions);
    return file;
}

QByteArray contentOf(const std::vector<const TServedChunk*>& Chunks)
{
    QByteArray content;
    for (const TServedChunk* chunk : Chunks)
        content += chunk->content;
    return content;
}

} // namespace downloadertest
