#include "TFileScanWorker.h"

#include "TBlockMatcher.h"
#include "TChunkDeltaPlanner.h"
#include "TInPlaceRebuilder.h"
#include "TScanContext.h"

#include "filesystemhelper/TLinkFreePath.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <exception>
#include <limits>
#include <utility>

namespace orvan::launcher {

namespace {

/// True when every chunk index lies inside Chunks and the chunk sizes add up to the file size
/// without overflow; a file without chunk indices passes.
bool hasUsableChunkList(const TFileInPackage& file, const TChunkInPackageVector& chunks)
{
    if (!file.hasValidChunkIndices(chunks.size()))
        return false;
    if (file.chunkIndices.empty())
        return true;
    quint64 total = 0;
    for (const qint32 index : file.chunkIndices) {
        const quint64 size = chunks[static_cast<std::size_t>(index)].unpackedSize;
        if (size > std::numeric_limits<quint64>::max() - total)
            return false;
        total += size;
    }
    return total == file.unpackedSize;
}

/// The entry for a file whose chunk list can't be used: only its whole-file object can serve it.
TFileToDownload withoutChunks(const TFileInPackage& file)
{
    TFileInPackage copy = file;
    copy.chunkIndices.clear();
    return TFileToDownload::fromFile(copy, {});
}

} // namespace

TFileScanWorker::TFileScanWorker(TScanContext& context) : m_context(context) {}

TScanTaskResult TFileScanWorker::run()
{
    TScanTaskResult result;
    TScanContext::TWorkItem item;
    while (m_context.takeNextFile(item)) {
        const TFileInPackage& file = *item.file;
        try {
            processFile(file, item.path, result);
        } catch (const std::exception& error) {
            // Most likely the scan buffer could not be allocated: fetching the file costs no scan.
            qWarning().noquote().nospace()
                << "scan of file " << file.localFile << " failed: " << error.what() << "; it is downloaded whole";
            if (!m_context.checkpoint())
                downloadWithoutReuse(file, item.path, result);
        }
    }
    return result;
}

void TFileScanWorker::processFile(const TFileInPackage& file, const QString& path, TScanTaskResult& result)
{
    if (!hasUsableChunkList(file, m_context.offeredChunks())) {
        qWarning().noquote().nospace() << "chunk list of file " << file.localFile
                                       << " does not fit the package's chunks; only its whole-file object is usable";
        TFileToDownload entry = withoutChunks(file);
        checkWholeFile(file, path, entry, result);
        return;
    }
    TFileToDownload entry = TFileToDownload::fromFile(file, m_context.offeredChunks());
    if (file.chunkIndices.size() <= 1)
        checkWholeFile(file, path, entry, result);
    else
        scanChunks(file, path, entry, result);
}

void TFileScanWorker::checkWholeFile(const TFileInPackage& file, const QString& path, TFileToDownload& entry,
                                     TScanTaskResult& result)
{
    if (fastScanTrustsWholeFile(file, path)) {
        m_context.addScannedBytes(file.unpackedSize);
        qInfo().noquote().nospace() << "reuseable file found " << file.localFile
                                    << " Thread: " << QThread::currentThreadId();
        return;
    }
    QByteArray hash;
    m_hashReader.hashFile(path, hash, {}, [this] { return m_context.checkpoint(); });
    const QFileInfo info(path);
    const qint64 size = info.exists() ? info.size() : 0;
    m_context.addScannedBytes(static_cast<quint64>(size));
    // A cancelled scan leaves the file alone: its result is dropped anyway.
    if (m_context.checkpoint())
        return;

    // A file that could not be read has an empty hash, which must not pass for an empty hash in
    // the package data.
    if (!hash.isEmpty() && static_cast<quint64>(size) == file.unpackedSize && hash == file.unpackedHash) {
        qInfo().noquote().nospace() << "reuseable file found " << file.localFile
                                    << " Thread: " << QThread::currentThreadId();
        return;
    }
    replaceWholeFile(file, path, entry, result);
}

void TFileScanWorker::scanChunks(const TFileInPackage& file, const QString& path, TFileToDownload& entry,
                                 TScanTaskResult& result)
{
    TBlockMatcher matcher(entry.chunks, path);
    if (!feedBlocks(file, path, matcher))
        matcher.reset();
    if (m_context.checkpoint())
        return;
    // Before anything below moves or cuts the local data that the deltas rebuild from.
    const bool deltasPlanned = TChunkDeltaPlanner::plan(entry, matcher.states(), matcher.blocks(), path,
                                                        [this] { return m_context.deltaBaseStore(); });
    if (!matcher.anyReusable() && !deltasPlanned) {
        replaceWholeFile(file, path, entry, result);
        return;
    }
    TInPlaceRebuilder rebuilder(path, file.unpackedSize);
    rebuilder.refuseLinksBelow(m_context.directory().absolutePath());
    rebuilder.keepScratchIn(m_context.directory().absolutePath());
    // The file is never rewritten in place in self-update mode: whatever is not in place already
    // is downloaded into the copy that replaces it.
    if (m_context.keepReplacedFilesAsOld())
        rebuilder.downloadWhatIsNotInPlace();
    if (!rebuilder.rebuild(matcher.states(), entry.chunksToDownload)) {
        qWarning().noquote().nospace() << "rebuilding " << path
                                       << " from its own chunks failed; it is downloaded whole";
        replaceWholeFile(file, path, entry, result);
        return;
    }
    if (!entry.chunksToDownload.empty())
        result.filesToDownload.push_back(std::move(entry));
}

bool TFileScanWorker::feedBlocks(const TFileInPackage& file, const QString& path, TBlockMatcher& matcher)
{
    std::vector<TChunkInPackage> blocks;
    if (fastScanBlocks(file, path, blocks)) {
        for (const TChunkInPackage& block : blocks) {
            m_context.addScannedBytes(block.unpackedSize);
            matcher.addBlock(block.unpackedHash, block.unpackedSize);
        }
        return true;
    }
    const auto result =
        m_chunkScanner.scanFile(path, [this, &matcher](const shared::TChunkPiece& piece, const unsigned char*) {
            m_context.addScannedBytes(piece.size);
            matcher.addBlock(piece.sha256, piece.size);
            return !m_context.checkpoint();
        });
    if (result == shared::TFileChunkScanner::EResult::ReadFailed) {
        qWarning().noquote().nospace() << "reading " << path << " failed: " << m_chunkScanner.errorString()
                                       << "; none of its data is reused";
        return false;
    }
    return true;
}

bool TFileScanWorker::fastScanBlocks(const TFileInPackage& file, const QString& path,
                                     std::vector<TChunkInPackage>& blocks) const
{
    const TFileInPackage* installed = installedEntry(file);
    if (installed == nullptr || installed->chunkIndices.size() < 2)
        return false;
    const TChunkInPackageVector& installedChunks = m_context.installedChunks();
    if (!hasUsableChunkList(*installed, installedChunks) || !holdsInstalledSize(*installed, path))
        return false;
    blocks.clear();
    blocks.reserve(installed->chunkIndices.size());
    for (const qint32 index : installed->chunkIndices)
        blocks.push_back(installedChunks[static_cast<std::size_t>(index)]);
    return true;
}

bool TFileScanWorker::fastScanTrustsWholeFile(const TFileInPackage& file, const QString& path) const
{
    // The installed configuration vouches for the content of a file whose version did not change;
    // reading every unchanged file would make a small update of a large package take minutes.
    const TFileInPackage* installed = installedEntry(file);
    return installed != nullptr && !file.unpackedHash.isEmpty() && installed->unpackedHash == file.unpackedHash &&
           installed->unpackedSize == file.unpackedSize && holdsInstalledSize(*installed, path);
}

const TFileInPackage* TFileScanWorker::installedEntry(const TFileInPackage& file) const
{
    const TFileInPackageVector& installedFiles = m_context.installedFiles();
    const auto installed = installedFiles.find(file.localFile);
    return installed == installedFiles.end() ? nullptr : &*installed;
}

bool TFileScanWorker::holdsInstalledSize(const TFileInPackage& installed, const QString& path)
{
    // The installed configuration is trusted for the content, but a missing or resized file
    // can't hold what it describes: such a file is read instead.
    const QFileInfo info(path);
    return info.isFile() && static_cast<quint64>(info.size()) == installed.unpackedSize;
}

void TFileScanWorker::replaceWholeFile(const TFileInPackage& file, const QString& path, TFileToDownload& entry,
                                       TScanTaskResult& result)
{
    // In self-update mode the downloader swaps the new version in; a link is never deleted through.
    if (!m_context.keepReplacedFilesAsOld() &&
        !shared::TLinkFreePath::hasLinkedParent(m_context.directory().absolutePath(), path))
        QFile::remove(path);
    entry.downloadEverything(file);
    if (canBeFetched(entry)) {
        result.filesToDownload.push_back(std::move(entry));
        return;
    }
    qWarning().noquote().nospace() << "package data offers no download for file " << file.localFile;
    result.filesWithInvalidPackageData.push_back(file);
}

void TFileScanWorker::downloadWithoutReuse(const TFileInPackage& file, const QString& path, TScanTaskResult& result)
{
    try {
        TFileToDownload entry = hasUsableChunkList(file, m_context.offeredChunks())
                                    ? TFileToDownload::fromFile(file, m_context.offeredChunks())
                                    : withoutChunks(file);
        replaceWholeFile(file, path, entry, result);
    } catch (const std::exception& error) {
        qWarning().noquote().nospace() << "file " << file.localFile << " can't be installed: " << error.what();
        result.filesWithInvalidPackageData.push_back(file);
    }
}

bool TFileScanWorker::canBeFetched(const TFileToDownload& entry)
{
    return !entry.chunksToDownload.empty();
}

} // namespace orvan::launcher
