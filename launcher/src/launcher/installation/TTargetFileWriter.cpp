#include "TTargetFileWriter.h"

#include "TChunkWriteLog.h"
#include "TDownloadPlan.h"
#include "TReplacementJournal.h"

#include "filesystemhelper/TFileIoError.h"
#include "filesystemhelper/TFileSystemHelper.h"
#include "filesystemhelper/TLinkFreePath.h"
#include "hash/TSha256.h"
#include "settings/TLauncherSettings.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QMutexLocker>
#include <QSet>
#include <QThread>

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace orvan::launcher {

using shared::TFileIoError;

namespace {

/// The end of the last chunk that the file keeps from its old copy.
quint64 endOfKeptChunks(const TChunkedFileState& file)
{
    const QSet<int> pending(file.pendingPositions.begin(), file.pendingPositions.end());
    quint64 end = 0;
    for (std::size_t position = 0; position < file.chunks.size(); ++position) {
        if (!pending.contains(static_cast<int>(position)))
            end = file.offsets[position] + file.chunks[position].unpackedSize;
    }
    return end;
}

/// Reads back the positions in front of Position that lie beyond what this write session has
/// checked and compares them with their hashes (debug setting chunkVerification).
void checkEarlierPositions(TChunkedFileState& file, int position, TChunkWriteLog& writeLog)
{
    quint64 checked = static_cast<quint64>(file.targetFile->pos());
    for (int earlier = 0; earlier < position; ++earlier) {
        const TChunkInPackage& chunk = file.chunks[static_cast<std::size_t>(earlier)];
        const quint64 offset = file.offsets[static_cast<std::size_t>(earlier)];
        if (offset + chunk.unpackedSize <= checked)
            continue;
        file.targetFile->seek(static_cast<qint64>(offset));
        const QByteArray data = file.targetFile->read(static_cast<qint64>(chunk.unpackedSize));
        if (static_cast<quint64>(data.size()) != chunk.unpackedSize)
            throw TFileIoError(file.path, QStringLiteral("invalid old chunk"));
        if (shared::TSha256::hash(data) != chunk.unpackedHash) {
            writeLog.line(offset, ": check failed");
            throw TFileIoError(file.path, QStringLiteral("invalid hash"));
        }
        writeLog.line(offset, ": check succeeded");
        checked = offset + chunk.unpackedSize;
    }
}

} // namespace

TTargetFileWriter::TTargetFileWriter(TContext context, std::vector<std::shared_ptr<TChunkedFileState>> files,
                                     std::shared_ptr<TPendingChunkStore> pendingChunks,
                                     TPositionWritten positionWritten)
    : m_context(std::move(context)), m_files(std::move(files)), m_pendingChunks(std::move(pendingChunks)),
      m_positionWritten(std::move(positionWritten))
{}

void TTargetFileWriter::save(const TChunkToDownload& job, const QByteArray& data) const
{
    if (TDownloadPlan::logsEachStep(job))
        qInfo() << "saveDownloadedData chunk " << job.chunk.url << " Thread: " << QThread::currentThreadId();
    bool heldCopyStored = false;
    for (const auto& file : job.targetFiles) {
        const QMutexLocker lock(&file->mutex);
        if (!file->started) {
            file->started = true;
            prepareTargetFile(*file);
        }
        if (writeAvailablePositions(*file, job, data))
            continue;
        closeWhileWaiting(*file);
        qInfo() << "saveDownloadedData chunk " << job.chunk.url << " not found for " << file->path
                << ". => Wait for chunk"
                << " Thread: " << QThread::currentThreadId();
        if (!heldCopyStored)
            heldCopyStored = keepWhenNeededLater(*file, job, data);
    }
}

bool TTargetFileWriter::keepWhenNeededLater(const TChunkedFileState& file, const TChunkToDownload& job,
                                            const QByteArray& data) const
{
    const bool needed = std::any_of(file.pendingPositions.begin(), file.pendingPositions.end(), [&](int position) {
        return file.chunks[static_cast<std::size_t>(position)].unpackedHash == job.chunk.unpackedHash;
    });
    if (needed)
        m_pendingChunks->storeHeldCopy(job.chunk.unpackedHash, data, m_context.settings->maxCachedChunks);
    return needed;
}

void TTargetFileWriter::prepareTargetFile(TChunkedFileState& file) const
{
    // Folders inside the installation are made real before anything is written below them: a
    // link there would carry the writes to wherever it points.
    shared::TLinkFreePath::prepareParentFolders(m_context.installationDirectory, file.path);
    if (m_context.selfUpdateMode == ESelfUpdateMode::Launcher) {
        prepareReplacement(file);
        return;
    }
    if (file.isRewrittenWhole())
        removeOldFile(file);
    else
        checkKeptChunks(file);
}

void TTargetFileWriter::checkKeptChunks(const TChunkedFileState& file)
{
    // The kept chunks are only where the scan left them if the file is still there.
    const QFileInfo existing(file.path);
    if (existing.isSymLink())
        throw TFileIoError(file.path, QStringLiteral("file to update is a symbolic link"));
    if (!existing.isFile() || static_cast<quint64>(existing.size()) < endOfKeptChunks(file))
        throw TFileIoError(file.path, QStringLiteral("file to update is missing or shorter than its kept chunks"));
}

void TTargetFileWriter::prepareReplacement(TChunkedFileState& file)
{
    // The new version is assembled beside the file and swapped in when the whole run succeeded,
    // so the path keeps a complete version, and a running program its own file, whatever happens.
    const QString assembled = TReplacementJournal::temporaryPathOf(file.path);
    TReplacementJournal::removeFileOrLink(assembled);
    if (!file.isRewrittenWhole()) {
        checkKeptChunks(file);
        if (!QFile::copy(file.path, assembled))
            throw TFileIoError(file.path, QStringLiteral("couldn't copy the kept chunks"));
    }
    file.writePath = assembled;
}

void TTargetFileWriter::removeOldFile(const TChunkedFileState& file) const
{
    const QFileInfo existing(file.path);
    if (existing.isDir() && !existing.isSymLink()) {
        QDir(file.path).removeRecursively();
        return;
    }
    if (!existing.exists() && !existing.isSymLink())
        return;
    // A link is removed as a link; what it points to stays untouched.
    m_context.fileSystem->deleteFile(file.path);
}

void TTargetFileWriter::openTargetFile(TChunkedFileState& file)
{
    auto target = std::make_unique<QFile>(file.writePath);
    if (!target->open(QIODevice::ReadWrite | QIODevice::Unbuffered) || !target->seek(file.resumeOffset))
        throw TFileIoError(file.path, QStringLiteral("couldn't open target file"));
    file.targetFile = std::move(target);
}

void TTargetFileWriter::closeWhileWaiting(TChunkedFileState& file)
{
    if (!file.targetFile)
        return;
    file.resumeOffset = file.targetFile->pos();
    closeTargetFile(file);
}

void TTargetFileWriter::closeTargetFile(TChunkedFileState& file)
{
    if (!file.targetFile)
        return;
    const std::unique_ptr<QFile> target = std::move(file.targetFile);
    target->unsetError();
    target->close();
    if (target->error() != QFileDevice::NoError)
        throw TFileIoError(file.path, QStringLiteral("couldn't write chunk file"));
}

bool TTargetFileWriter::writeAvailablePositions(TChunkedFileState& file, const TChunkToDownload& job,
                                                const QByteArray& data) const
{
    while (!file.pendingPositions.isEmpty()) {
        const TChunkInPackage& chunk = file.chunks[static_cast<std::size_t>(file.pendingPositions.front())];
        QByteArray content;
        const std::optional<EContentSource> source = takeContent(chunk, job, data, content);
        if (!source)
            return false;
        writeFrontPosition(file, content, *source);
        m_pendingChunks->releaseUse(chunk.unpackedHash);
        m_positionWritten(chunk.url, chunk.unpackedSize);
        file.pendingPositions.removeFirst();
        if (file.pendingPositions.isEmpty())
            finishFile(file);
    }
    return true;
}

std::optional<TTargetFileWriter::EContentSource> TTargetFileWriter::takeContent(const TChunkInPackage& chunk,
                                                                                const TChunkToDownload& job,
                                                                                const QByteArray& data,
                                                                                QByteArray& content) const
{
    if (chunk.unpackedHash == job.chunk.unpackedHash) {
        content = data;
        return EContentSource::FreshDownload;
    }
    switch (m_pendingChunks->takeForWrite(chunk.unpackedHash, chunk.unpackedSize, content)) {
    case TPendingChunkStore::ESource::Memory:
        return EContentSource::HeldInMemory;
    case TPendingChunkStore::ESource::TemporaryFile:
        return EContentSource::HeldInTemporaryFile;
    case TPendingChunkStore::ESource::Missing:
        break;
    }
    return std::nullopt;
}

void TTargetFileWriter::writeFrontPosition(TChunkedFileState& file, const QByteArray& content,
                                           EContentSource source) const
{
    const int position = file.pendingPositions.front();
    const TChunkInPackage& chunk = file.chunks[static_cast<std::size_t>(position)];
    const quint64 offset = file.offsets[static_cast<std::size_t>(position)];
    if (!file.targetFile)
        openTargetFile(file);
    std::unique_ptr<TChunkWriteLog> writeLog;
    if (m_context.settings->chunkVerification) {
        writeLog = std::make_unique<TChunkWriteLog>(file.path, !file.writeLogStarted);
        file.writeLogStarted = true;
        checkEarlierPositions(file, position, *writeLog);
    }
    reportWrite(file, position, content, source, writeLog.get());
    if (static_cast<quint64>(content.size()) != chunk.unpackedSize ||
        !file.targetFile->seek(static_cast<qint64>(offset)) ||
        static_cast<quint64>(file.targetFile->write(content)) != chunk.unpackedSize)
        throw TFileIoError(file.path, QStringLiteral("couldn't write chunk file"));
}

void TTargetFileWriter::reportWrite(const TChunkedFileState& file, int position, const QByteArray& content,
                                    EContentSource source, TChunkWriteLog* writeLog)
{
    struct TTexts
    {
        const char* correct;
        const char* invalid;
        const char* route;
    };
    static const TTexts texts[] = {{": write succeeded", ": write failed", " to "},
                                   {": write cache correct", ": write cache invalid", " from cache to "},
                                   {": write tmp file correct", ": write tmp file invalid", " from temp file to "}};
    const TTexts& text = texts[static_cast<int>(source)];
    const TChunkInPackage& chunk = file.chunks[static_cast<std::size_t>(position)];
    const quint64 offset = file.offsets[static_cast<std::size_t>(position)];
    if (writeLog) {
        const bool matches = shared::TSha256::hash(content) == chunk.unpackedHash;
        writeLog->line(offset, matches ? text.correct : text.invalid);
        // A copy read back from a temporary file is not written when the disk changed it.
        if (!matches && source == EContentSource::HeldInTemporaryFile)
            throw TFileIoError(file.path, QStringLiteral("invalid hash"));
    }
    // A file of one chunk is written whole: the end of its job's save says all there is to say.
    if (file.chunks.size() > 1)
        qInfo() << "saveDownloadedData chunk " << chunk.url << text.route << file.writePath << " offset: " << offset
                << " Thread: " << QThread::currentThreadId();
}

void TTargetFileWriter::finishFile(TChunkedFileState& file) const
{
    // Whatever lay beyond the new end belongs to no chunk of the file.
    QFile& target = *file.targetFile;
    if (static_cast<quint64>(target.size()) > file.unpackedSize &&
        !target.resize(static_cast<qint64>(file.unpackedSize)))
        throw TFileIoError(file.path, QStringLiteral("couldn't write chunk file"));
    if (file.executable && !target.setPermissions(target.permissions() | QFileDevice::ExeOwner | QFileDevice::ExeGroup |
                                                  QFileDevice::ExeOther))
        qWarning() << "couldn't make" << file.path << "executable";
    // A replacement must be on the disk before it is renamed over the file it replaces.
    if (m_context.selfUpdateMode == ESelfUpdateMode::Launcher && !TReplacementJournal::flushToDisk(target.handle()))
        throw TFileIoError(file.path, QStringLiteral("couldn't write chunk file"));
    closeTargetFile(file);
}

bool TTargetFileWriter::finishRun(bool runSucceeded) const
{
    const bool complete = allFilesComplete();
    if (m_context.selfUpdateMode != ESelfUpdateMode::Launcher)
        return complete;
    return swapInAssembledFiles(runSucceeded && complete);
}

bool TTargetFileWriter::allFilesComplete() const
{
    bool complete = true;
    for (const auto& file : m_files) {
        const QMutexLocker lock(&file->mutex);
        // A failed run leaves files open; nothing writes to them any more.
        if (file->targetFile) {
            file->targetFile->close();
            file->targetFile.reset();
        }
        if (!file->pendingPositions.isEmpty()) {
            qWarning() << "file" << file->path << "was left with" << file->pendingPositions.size()
                       << "chunks unwritten";
            complete = false;
        }
    }
    return complete;
}

bool TTargetFileWriter::swapInAssembledFiles(bool runSucceeded) const
{
    QStringList assembled;
    QStringList all;
    for (const auto& file : m_files) {
        all << file->path;
        if (file->writePath != file->path)
            assembled << file->path;
    }
    if (!runSucceeded) {
        TReplacementJournal::discard(all);
        return false;
    }
    if (assembled.isEmpty())
        return true;
    try {
        TReplacementJournal(QDir(m_context.installationDirectory)).commit(assembled);
    } catch (const std::runtime_error& error) {
        qWarning() << "replacing the files of the run failed:" << error.what();
        TReplacementJournal::discard(all);
        return false;
    }
    return true;
}

} // namespace orvan::launcher
