#include "TDiskSpaceRequirement.h"

#include "TChunkDeltaSource.h"
#include "TDeltaBaseStore.h"

#include "filesystemhelper/TFileSystemHelper.h"

#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace orvan::launcher {

namespace {

/// The bytes a regular file takes at Path now; a link is replaced rather than written through.
quint64 presentSize(const QString& path)
{
    const QFileInfo present(path);
    return present.isFile() && !present.isSymLink() ? static_cast<quint64>(present.size()) : 0;
}

} // namespace

TDiskSpaceRequirement::TDiskSpaceRequirement(quint64 fileBytes, quint64 temporaryBytes, quint64 scratchBytes)
    : m_fileBytes(fileBytes), m_temporaryBytes(temporaryBytes), m_scratchBytes(scratchBytes)
{}

TDiskSpaceRequirement TDiskSpaceRequirement::compute(const std::vector<TFileToDownload>& files, const QDir& directory,
                                                     const ::shared::TFileSystemHelper& fileSystem,
                                                     ESelfUpdateMode mode, const THeldCopyLimits& limits)
{
    quint64 fileBytes = 0;
    for (const TFileToDownload& file : files) {
        if (mode == ESelfUpdateMode::Launcher) {
            fileBytes += file.unpackedSize;
            continue;
        }
        const quint64 present = presentSize(fileSystem.resolvePathInsideDirectory(directory, file.localFile));
        if (file.unpackedSize > present)
            fileBytes += file.unpackedSize - present;
    }
    return TDiskSpaceRequirement(fileBytes, temporaryBytesFor(files, limits), scratchBytesFor(files));
}

quint64 TDiskSpaceRequirement::scratchBytesFor(const std::vector<TFileToDownload>& files)
{
    QSet<const TDeltaBaseStore*> stores;
    quint64 bytes = 0;
    for (const TFileToDownload& file : files) {
        for (const auto& source : file.deltaSources) {
            const TDeltaBaseStore* store = source.second ? source.second->baseStore.get() : nullptr;
            if (store == nullptr || stores.contains(store))
                continue;
            stores.insert(store);
            bytes += store->size();
        }
    }
    return bytes;
}

quint64 TDiskSpaceRequirement::temporaryBytesFor(const std::vector<TFileToDownload>& files,
                                                 const THeldCopyLimits& limits)
{
    // Held copies are kept once per content, whatever number of positions needs it.
    QSet<QByteArray> contents;
    quint64 distinctBytes = 0;
    quint64 largest = 0;
    for (const TFileToDownload& file : files) {
        for (const qint32 position : file.chunksToDownload) {
            const TChunkInPackage& chunk = file.chunks[static_cast<std::size_t>(position)];
            if (contents.contains(chunk.unpackedHash))
                continue;
            contents.insert(chunk.unpackedHash);
            distinctBytes += chunk.unpackedSize;
            largest = std::max(largest, chunk.unpackedSize);
        }
    }
    // While every content fits the in-memory slots and the byte bound, no copy is ever spilled.
    if (static_cast<qint64>(contents.size()) <= static_cast<qint64>(limits.maxCachedChunks) + 1 &&
        distinctBytes <= limits.maxHeldBytes)
        return 0;
    // The bound stops new requests; those already running may still arrive and be held.
    const quint64 inFlight = static_cast<quint64>(std::max(limits.parallelDownloads, 1)) * largest;
    return std::min(distinctBytes, limits.maxHeldBytes + inFlight);
}

} // namespace orvan::launcher
