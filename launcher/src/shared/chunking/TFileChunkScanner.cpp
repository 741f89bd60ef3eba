#include "TFileChunkScanner.h"

#include "chunking/TChunkingError.h"
#include "hash/TSha256.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace shared {

namespace {

/// Closes the descriptor when the scan leaves, whichever way.
struct TFileDescriptor
{
    int fd;
    explicit TFileDescriptor(int descriptor) : fd(descriptor) {}
    ~TFileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    TFileDescriptor(const TFileDescriptor&) = delete;
    TFileDescriptor& operator=(const TFileDescriptor&) = delete;
};

/// Reads until size bytes arrived or the file ended; -1 on an error (errno tells which).
qint64 readFully(int fd, unsigned char* target, std::size_t size)
{
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, target + done, size - done);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            return -1;
        }
        if (got == 0)
            break;
        done += static_cast<std::size_t>(got);
    }
    return static_cast<qint64>(done);
}

enum class ECutResult
{
    NeedMoreData,
    Stopped
};

/// Cuts pieces off the front of data[0, size), which starts at streamOffset of the stream, and hands
/// each to the handler. Unless atEnd, a piece is only cut while a full maximum chunk of lookahead is
/// present, so the cut can't depend on where the data was split. consumed receives the bytes cut.
ECutResult cutPieces(const unsigned char* data, std::size_t size, bool atEnd, std::uint64_t streamOffset,
                     const TFileChunkScanner::TPieceHandler& handler,
                     const TFileChunkScanner::TProgressHandler& progress, std::size_t* consumed)
{
    TContentDefinedChunker chunker;
    TChunkPiece piece;
    std::size_t position = 0;
    *consumed = 0;
    while (position < size && (atEnd || size - position >= TFileChunkScanner::LookaheadSize)) {
        std::size_t length = chunker.feed(data + position, size - position);
        if (length == TContentDefinedChunker::NoCut)
            length = static_cast<std::size_t>(chunker.finish());
        piece.offset = streamOffset + position;
        piece.size = length;
        piece.sha256 = TSha256::hash(data + position, length);
        const unsigned char* pieceData = data + position;
        position += length;
        *consumed = position;
        if (!handler(piece, pieceData))
            return ECutResult::Stopped;
        if (progress)
            progress(length);
    }
    return ECutResult::NeedMoreData;
}

TFileChunkScanner::TPieceHandler appendTo(std::vector<TChunkPiece>& pieces)
{
    return [&pieces](const TChunkPiece& piece, const unsigned char*) {
        pieces.push_back(piece);
        return true;
    };
}

} // namespace

TFileChunkScanner::TFileChunkScanner(std::size_t portionSize) : m_portionSize(portionSize > 0 ? portionSize : 1) {}

TFileChunkScanner::~TFileChunkScanner() = default;

void TFileChunkScanner::setProgressHandler(TProgressHandler handler)
{
    m_progressHandler = std::move(handler);
}

unsigned char* TFileChunkScanner::buffer()
{
    // Not zero-filled on purpose: pages the reads never reach are never committed.
    if (!m_buffer)
        m_buffer.reset(new unsigned char[bufferSize()]);
    return m_buffer.get();
}

TFileChunkScanner::EResult TFileChunkScanner::scanFile(const QString& path, const TPieceHandler& handler)
{
    m_errorString.clear();
    // Non-blocking open and the type check keep a FIFO or device planted in the installation
    // directory from stalling the scan; regular files ignore O_NONBLOCK.
    TFileDescriptor file(::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.fd < 0) {
        m_errorString = qt_error_string(errno);
        return EResult::OpenFailed;
    }
    struct stat status = {};
    if (::fstat(file.fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        m_errorString = S_ISDIR(status.st_mode) ? qt_error_string(EISDIR) : QStringLiteral("Not a regular file");
        return EResult::OpenFailed;
    }
    ::posix_fadvise(file.fd, 0, 0, POSIX_FADV_SEQUENTIAL);

    // The uncut rest (shorter than the lookahead) is moved to end just before LookaheadSize, and each
    // portion is read in behind it, so a piece always lies contiguous in the buffer.
    unsigned char* const data = buffer();
    std::size_t begin = LookaheadSize;
    std::size_t end = LookaheadSize;
    std::uint64_t fileOffset = 0;
    bool atEnd = false;
    for (;;) {
        while (!atEnd && end - begin < LookaheadSize) {
            const std::size_t remaining = end - begin;
            if (begin != LookaheadSize - remaining)
                std::memmove(data + LookaheadSize - remaining, data + begin, remaining);
            begin = LookaheadSize - remaining;
            const qint64 got = readFully(file.fd, data + LookaheadSize, m_portionSize);
            if (got < 0) {
                m_errorString = qt_error_string(errno);
                return EResult::ReadFailed;
            }
            end = LookaheadSize + static_cast<std::size_t>(got);
            atEnd = static_cast<std::size_t>(got) < m_portionSize;
        }
        if (begin == end)
            return EResult::Completed;

        std::size_t consumed = 0;
        const ECutResult result =
            cutPieces(data + begin, end - begin, atEnd, fileOffset, handler, m_progressHandler, &consumed);
        if (result == ECutResult::Stopped)
            return EResult::Stopped;
        begin += consumed;
        fileOffset += consumed;
    }
}

std::vector<TChunkPiece> chunkFile(const QString& path)
{
    std::vector<TChunkPiece> pieces;
    TFileChunkScanner scanner;
    if (scanner.scanFile(path, appendTo(pieces)) != TFileChunkScanner::EResult::Completed)
        throw TChunkingError(path, scanner.errorString());
    return pieces;
}

std::vector<TChunkPiece> chunkBuffer(const void* data, std::size_t size)
{
    std::vector<TChunkPiece> pieces;
    std::size_t consumed = 0;
    cutPieces(static_cast<const unsigned char*>(data), size, true, 0, appendTo(pieces), {}, &consumed);
    return pieces;
}

std::vector<TChunkPiece> chunkBuffer(const QByteArray& data)
{
    return chunkBuffer(data.constData(), static_cast<std::size_t>(data.size()));
}

} // namespace shared
