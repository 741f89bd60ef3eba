#include "TChunkedFileState.h"

#include <utility>

namespace orvan::launcher {

TChunkedFileState::TChunkedFileState(const TFileToDownload& File, QString Path)
    : localFile(File.localFile), unpackedSize(File.unpackedSize), unpackedHash(File.unpackedHash),
      executable(File.executable), patches(File.patches), chunks(File.chunks), targetFile(Path), path(Path),
      writePath(std::move(Path)), offsets(File.chunkOffsets())
{
    pendingPositions.reserve(static_cast<int>(File.chunksToDownload.size()));
    for (const qint32 position : File.chunksToDownload)
        pendingPositions.append(position);
}

} // namespace orvan::launcher
