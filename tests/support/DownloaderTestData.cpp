#include "support/DownloaderTestData.h"

#include "compression/EContainerAlgorithm.h"
#include "compression/TContainerEncoder.h"
#include "hash/TSha256.h"
#include "settings/TLauncherFilesystemHelper.h"
#include "support/TTestHttpServer.h"

#include <QDir>

namespace downloadertest {

std::shared_ptr<orvan::launcher::TLauncherFilesystemHelper> makeHelper(const QString& directory,
                                                                       const TTestSettings& settings)
{
    QByteArray ini = "[DIRECTORIES]\npackages=packages\nsettingsTarget=QuenmarOnlineClient_Data/Data/Settings\n"
                     "[FILES]\npackageFile=package.json\npartialPackageFile=partial-package.json\n"
                     "assetFile=assets.json\naccountGroupFile=accountgroup.json\n[OPTIONS]\n";
    const auto boolText = [](bool value) { return QByteArray(value ? "true" : "false"); };
    if (settings.maxCachedChunks)
        ini += "maxCachedChunks=" + QByteArray::number(*settings.maxCachedChunks) + '\n';
    if (settings.maxConcurrentDownloads)
        ini += "maxConcurrentDownloads=" + QByteArray::number(*settings.maxConcurrentDownloads) + '\n';
    if (settings.skipVerification)
        ini += "skipVerification=" + boolText(*settings.skipVerification) + '\n';
    if (settings.fastScan)
        ini += "fastScan=" + boolText(*settings.fastScan) + '\n';
    ini += "[DEBUG]\n";
    if (settings.chunkVerification)
        ini += "chunkVerification=" + boolText(*settings.chunkVerification) + '\n';
    const QString path = QDir(directory).filePath(QStringLiteral("launchersettings.ini"));
    writeFile(path, ini);
    return std::make_shared<orvan::launcher::TLauncherFilesystemHelper>(path);
}

TServedChunk makeChunk(const testsupport::TTestHttpServer& server, const QString& path, const QByteArray& content,
                       int algorithm)
{
    TServedChunk served;
    served.content = content;
    served.path = path;
    served.body = algorithm < 0
                      ? content
                      : shared::TContainerEncoder::encode(content, static_cast<shared::EContainerAlgorithm>(algorithm));
    served.chunk.url = server.url(path);
    served.chunk.packedSize = static_cast<quint64>(served.body.size());
    served.chunk.packedHash = shared::TSha256::hash(served.body);
    served.chunk.unpackedSize = static_cast<quint64>(content.size());
    served.chunk.unpackedHash = shared::TSha256::hash(content);
    served.chunk.unpack = algorithm >= 0;
    return served;
}

TFileToDownload fileOf(const QString& localFile, const std::vector<const TServedChunk*>& chunks,
                       std::vector<qint32> positions, bool executable)
{
    TFileToDownload file;
    file.localFile = localFile;
    file.executable = executable;
    for (const TServedChunk* chunk : chunks)
        file.chunks.push_back(chunk->chunk);
    const QByteArray content = contentOf(chunks);
    file.unpackedSize = static_cast<quint64>(content.size());
    file.unpackedHash = shared::TSha256::hash(content);
    if (positions.empty()) {
        for (std::size_t position = 0; position < chunks.size(); ++position)
            positions.push_back(static_cast<qint32>(position));
    }
    file.chunksToDownload = std::move(positions);
    return file;
}

QByteArray contentOf(const std::vector<const TServedChunk*>& chunks)
{
    QByteArray content;
    for (const TServedChunk* chunk : chunks)
        content += chunk->content;
    return content;
}

} // namespace downloadertest
