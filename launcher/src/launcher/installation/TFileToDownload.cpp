#include "TFileToDownload.h"

namespace orvan::launcher {

TFileToDownload TFileToDownload::fromFile(const TFileInPackage& File, const std::vector<TChunkInPackage>& Chunks)
{
    TFileToDownload entry;
    entry.localFile = File.localFile;
    entry.unpackedSize = File.unpackedSize;
    entry.unpackedHash = File.unpackedHash;
    entry.executable = File.executable;
    entry.patches = File.patches;
    entry.chunks.reserve(File.chunkIndices.size());
    for (const qint32 index : File.chunkIndices)
        entry.chunks.push_back(Chunks[static_cast<std::size_t>(index)]);
    return entry;
}

void TFileToDownload::downloadEverything(const TFileInPackage& File)
{
    if (File.hasWholeFileDownload()) {
        chunks = {File.download};
        patches.clear();
    }
    chunksToDownload.clear();
    chunksToDownload.reserve(chunks.size());
    for (std::size_t position = 0; position < chunks.size(); ++position)
        chunksToDownload.push_back(static_cast<qint32>(position));
}

std::vector<quint64> TFileToDownload::chunkOffsets() const
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

} // namespace orvan::launcher
