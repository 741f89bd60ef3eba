#include "TFileToDownload.h"

#include <utility>

namespace orvan::launcher {

TFileToDownload TFileToDownload::fromFile(const TFileInPackage& file, const std::vector<TChunkInPackage>& chunks)
{
    TFileToDownload entry;
    entry.localFile = file.localFile;
    entry.unpackedSize = file.unpackedSize;
    entry.unpackedHash = file.unpackedHash;
    entry.executable = file.executable;
    entry.patches = file.patches;
    entry.chunks.reserve(file.chunkIndices.size());
    for (const qint32 index : file.chunkIndices)
        entry.chunks.push_back(chunks[static_cast<std::size_t>(index)]);
    return entry;
}

void TFileToDownload::downloadEverything(const TFileInPackage& file)
{
    if (file.hasWholeFileDownload()) {
        chunks = {file.download};
        patches.clear();
        // Their positions named the chunk list that the file's own object replaces.
        deltaSources.clear();
    }
    chunksToDownload.clear();
    chunksToDownload.reserve(chunks.size());
    for (std::size_t position = 0; position < chunks.size(); ++position)
        chunksToDownload.push_back(static_cast<qint32>(position));
}

std::vector<quint64> TFileToDownload::offsetsOf(const std::vector<TChunkInPackage>& chunks)
{
    std::vector<quint64> offsets;
    offsets.reserve(chunks.size());
    quint64 offset = 0;
    for (const TChunkInPackage& chunk : chunks) {
        offsets.push_back(offset);
        offset += chunk.unpackedSize;
    }
    return offsets;
}

QList<TFileToDownload> TFileToDownload::takeAsList(std::vector<TFileToDownload>& files)
{
    QList<TFileToDownload> list;
    list.reserve(static_cast<int>(files.size()));
    for (TFileToDownload& file : files) {
        // An empty entry allocates nothing; the move then hands the lists over.
        list.append(TFileToDownload());
        list.last() = std::move(file);
    }
    std::vector<TFileToDownload>().swap(files);
    return list;
}

} // namespace orvan::launcher
