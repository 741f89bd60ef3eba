#include "TChunkedFileState.h"

#include <utility>

namespace orvan::launcher {

TChunkedFileState::TChunkedFileState(const TFileToDownload& file, QString path)
    : localFile(file.localFile), unpackedSize(file.unpackedSize), unpackedHash(file.unpackedHash),
      executable(file.executable), patches(file.patches), chunks(file.chunks), targetFile(path), path(path),
      writePath(std::move(path)), offsets(file.chunkOffsets())
{
    pendingPositions.reserve(static_cast<int>(file.chunksToDownload.size()));
    for (const qint32 position : file.chunksToDownload)
        pendingPositions.append(position);
}

} // namespace orvan::launcher
