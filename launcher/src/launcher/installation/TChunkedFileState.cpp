#include "TChunkedFileState.h"

#include <utility>

namespace orvan::launcher {

TChunkedFileState::TChunkedFileState(TFileToDownload file, QString path)
    : localFile(std::move(file.localFile)), unpackedSize(file.unpackedSize), unpackedHash(std::move(file.unpackedHash)),
      executable(file.executable), patches(std::move(file.patches)), chunks(std::move(file.chunks)),
      deltaSources(std::move(file.deltaSources)), path(path), writePath(std::move(path)),
      offsets(TFileToDownload::offsetsOf(chunks))
{
    pendingPositions.reserve(static_cast<int>(file.chunksToDownload.size()));
    for (const qint32 position : file.chunksToDownload)
        pendingPositions.append(position);
}

} // namespace orvan::launcher
