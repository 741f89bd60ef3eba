#include "TFileScanWorker.h"

#include "TBlockMatcher.h"
#include "TInPlaceRebuilder.h"
#include "TScanContext.h"

#include "filesystemhelper/TLinkFreePath.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <exception>
#include <limits>

namespace orvan::launcher {

namespace {

/// True when every chunk index lies inside Chunks and the chunk sizes add up to the file size
/// without overflow; a file without chunk indices passes.
bool hasUsableChunkList(const TFileInPackage& File, const TChunkInPackageVector& Chunks)
{
    if (!File.hasValidChunkIndices(Chunks.size()))
        return false;
    if (File.chunkIndices.empty())
        return true;
    quint64 total = 0;
    for (const qint32 index : File.chunkIndices) {
        const quint64 size = Chunks[static_cast<std::size_t>(index)].unpackedSize;
        if (size > std::numeric_limits<quint64>::max() - total)
            return false;
        total += size;
    }
    return total == File.unpackedSize;
}

/// The entry for a file whose chunk list can't be used: only its whole-file object can serve it.
TFileToDownload withoutChunks(const TFileInPackage& File)
{
    TFileInPackage copy = File;
    copy.chunkIndices.clear();
    return TFileToDownload::fromFile(copy, {});
}

} // namespace

TFileScanWorker::TFileScanWorker(TScanContext& Context) : m_context(Context) {}

TScanTaskResult TFileScanWorker::run()
{
    TScanTaskResult result;
    TFileInPackage file;
    while (m_context.takeNextFile(file)) {
        try {
            processFile(file, result);
        } catch (const std::exception& error) {
            // Most likely the scan buffer could not be allocated: fetching the file costs no scan.
            qWarning().noquote().nospace()
                << "scan of file " << file.localFile << " failed: " << error.what() << "; it is downloaded whole";
            if (!m_context.cancelled())
                downloadWithoutReuse(file, result);
        }
    }
    return result;
}

void TFileScanWorker::processFile(const TFileInPackage& File, TScanTaskResult& Result)
{
    const QString path = m_context.pathOf(File.localFile);
    if (!hasUsableChunkList(File, m_context.offeredChunks())) {
        qWarning().noquote().nospace() << "chunk list of file " << File.localFile
                                       << " does not fit the package's chunks; only its whole-file object is usable";
        TFileToDownload entry = withoutChunks(File);
        checkWholeFile(File, path, entry, Result);
        return;
    }
    TFileToDownload entry = TFileToDownload::fromFile(File, m_context.offeredChunks());
    if (File.chunkIndices.size() <= 1)
        checkWholeFile(File, path, entry, Result);
    else
        scanChunks(File, path, entry, Result);
}

void TFileScanWorker::checkWholeFile(const TFileInPackage& File, const QString& Path, TFileToDownload& Entry,
                                     TScanTaskResult& Result)
{
    QByteArray hash;
    m_hashReader.hashFile(Path, hash, {}, [this] { return m_context.cancelled(); });
    const QFileInfo info(Path);
    const qint64 size = info.exists() ? info.size() : 0;
    m_context.addScannedBytes(static_cast<quint64>(size));
    // A cancelled scan leaves the file alone: its result is dropped anyway.
    if (m_context.cancelled())
        return;

    // A file that could not be read has an empty hash, which must not pass for an empty hash in
    // the package data.
    if (!hash.isEmpty() && static_cast<quint64>(size) == File.unpackedSize && hash == File.unpackedHash) {
        qInfo().noquote().nospace() << "reuseable file found " << File.localFile
                                    << " Thread: " << QThread::currentThreadId();
        return;
    }
    replaceWholeFile(File, Path, Entry, Result);
}

void TFileScanWorker::scanChunks(const TFileInPackage& File, const QString& Path, TFileToDownload& Entry,
                                 TScanTaskResult& Result)
{
    TBlockMatcher matcher(Entry.chunks, Path);
    if (!feedBlocks(File, Path, matcher))
        matcher.reset();
    if (m_context.cancelled())
        return;
    if (!matcher.anyReusable()) {
        replaceWholeFile(File, Path, Entry, Result);
        return;
    }
    TInPlaceRebuilder rebuilder(Path, File.unpackedSize);
    rebuilder.refuseLinksBelow(m_context.directory().absolutePath());
    // The file is never rewritten in place in self-update mode: whatever is not in place already
    // is downloaded into the copy that replaces it.
    if (m_context.keepReplacedFilesAsOld())
        rebuilder.downloadWhatIsNotInPlace();
    if (!rebuilder.rebuild(matcher.states(), Entry.chunksToDownload)) {
        qWarning().noquote().nospace() << "rebuilding " << Path
                                       << " from its own chunks failed; it is downloaded whole";
        replaceWholeFile(File, Path, Entry, Result);
        return;
    }
    if (!Entry.chunksToDownload.empty())
        Result.filesToDownload.push_back(Entry);
}

bool TFileScanWorker::feedBlocks(const TFileInPackage& File, const QString& Path, TBlockMatcher& Matcher)
{
    std::vector<TChunkInPackage> blocks;
    if (fastScanBlocks(File, Path, blocks)) {
        for (const TChunkInPackage& block : blocks) {
            m_context.addScannedBytes(block.unpackedSize);
            Matcher.addBlock(block.unpackedHash, block.unpackedSize);
        }
        return true;
    }
    const auto result =
        m_chunkScanner.scanFile(Path, [this, &Matcher](const shared::TChunkPiece& Piece, const unsigned char*) {
            m_context.addScannedBytes(Piece.size);
            Matcher.addBlock(Piece.sha256, Piece.size);
            return !m_context.cancelled();
        });
    if (result == shared::TFileChunkScanner::EResult::ReadFailed) {
        qWarning().noquote().nospace() << "reading " << Path << " failed: " << m_chunkScanner.errorString()
                                       << "; none of its data is reused";
        return false;
    }
    return true;
}

bool TFileScanWorker::fastScanBlocks(const TFileInPackage& File, const QString& Path,
                                     std::vector<TChunkInPackage>& Blocks) const
{
    const TFileInPackageVector& installedFiles = m_context.installedFiles();
    const auto installed = installedFiles.find(File.localFile);
    if (installed == installedFiles.end() || installed->chunkIndices.size() < 2)
        return false;
    const TChunkInPackageVector& installedChunks = m_context.installedChunks();
    if (!hasUsableChunkList(*installed, installedChunks))
        return false;
    // The installed configuration is trusted for the content, but a missing or resized file
    // can't hold what it describes: such a file is read instead.
    const QFileInfo info(Path);
    if (!info.isFile() || static_cast<quint64>(info.size()) != installed->unpackedSize)
        return false;
    Blocks.clear();
    Blocks.reserve(installed->chunkIndices.size());
    for (const qint32 index : installed->chunkIndices)
        Blocks.push_back(installedChunks[static_cast<std::size_t>(index)]);
    return true;
}

void TFileScanWorker::replaceWholeFile(const TFileInPackage& File, const QString& Path, TFileToDownload& Entry,
                                       TScanTaskResult& Result)
{
    // In self-update mode the downloader swaps the new version in; a link is never deleted through.
    if (!m_context.keepReplacedFilesAsOld() &&
        !shared::TLinkFreePath::hasLinkedParent(m_context.directory().absolutePath(), Path))
        QFile::remove(Path);
    Entry.downloadEverything(File);
    if (canBeFetched(Entry)) {
        Result.filesToDownload.push_back(Entry);
        return;
    }
    qWarning().noquote().nospace() << "package data offers no download for file " << File.localFile;
    Result.filesWithInvalidPackageData.push_back(File);
}

void TFileScanWorker::downloadWithoutReuse(const TFileInPackage& File, TScanTaskResult& Result)
{
    try {
        const QString path = m_context.pathOf(File.localFile);
        TFileToDownload entry = hasUsableChunkList(File, m_context.offeredChunks())
                                    ? TFileToDownload::fromFile(File, m_context.offeredChunks())
                                    : withoutChunks(File);
        replaceWholeFile(File, path, entry, Result);
    } catch (const std::exception& error) {
        qWarning().noquote().nospace() << "file " << File.localFile << " can't be installed: " << error.what();
        Result.filesWithInvalidPackageData.push_back(File);
    }
}

bool TFileScanWorker::canBeFetched(const TFileToDownload& Entry)
{
    return !Entry.chunksToDownload.empty();
}

} // namespace orvan::launcher
