#pragma once

#include "chunking/TChunkPiece.h"
#include "chunking/TContentDefinedChunker.h"

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace shared {

/// Cuts a local file into content-defined pieces and hashes each piece with SHA-256.
///
/// The file is read with large unbuffered reads, a portion at a time, into one buffer that the
/// scanner keeps for its lifetime (LookaheadSize + portion size bytes, 144 MiB by default; pages are
/// only touched as far as data is read). Before a piece is cut, at least LookaheadSize bytes after
/// its start are in the buffer unless the file ends first, so every piece lies whole and contiguous
/// in the buffer and the cut points never depend on how the file was split into reads.
///
/// One scanner serves one thread; reuse it for several files to keep its buffer.
class TFileChunkScanner
{
public:
    static constexpr std::size_t DefaultPortionSize = 128 * 1024 * 1024;
    static constexpr std::size_t LookaheadSize = TContentDefinedChunker::MaximumChunkSize;

    enum class EResult
    {
        Completed,
        OpenFailed,
        ReadFailed,
        Stopped
    };

    /// Called for each piece in file order. Data points at the piece's bytes in the scanner's buffer
    /// and is valid only during the call. Returning false stops the scan (result Stopped).
    using TPieceHandler = std::function<bool(const TChunkPiece& piece, const unsigned char* data)>;
    /// Called after each piece with the number of bytes scanned since the previous call.
    using TProgressHandler = std::function<void(std::uint64_t scannedBytes)>;

    /// portionSize: bytes per read; smaller values than the default only serve tests.
    explicit TFileChunkScanner(std::size_t portionSize = DefaultPortionSize);
    ~TFileChunkScanner();
    TFileChunkScanner(const TFileChunkScanner&) = delete;
    TFileChunkScanner& operator=(const TFileChunkScanner&) = delete;

    void setProgressHandler(TProgressHandler handler);

    /// Scans the file at path. A file that can't be opened or is no regular file (a directory, FIFO or
    /// device) yields no pieces (OpenFailed). On a read
    /// error the scan ends with ReadFailed after the pieces read completely before it; their bytes
    /// and hashes are right, but the file's later content is unknown.
    EResult scanFile(const QString& path, const TPieceHandler& handler);

    /// Why the last scanFile failed, as the system words it; empty after success.
    QString errorString() const { return m_errorString; }

    std::size_t portionSize() const { return m_portionSize; }
    std::size_t bufferSize() const { return LookaheadSize + m_portionSize; }

private:
    unsigned char* buffer();

    std::size_t m_portionSize;
    std::unique_ptr<unsigned char[]> m_buffer;
    TProgressHandler m_progressHandler;
    QString m_errorString;
};

/// The pieces of a whole file; throws TChunkingError when it can't be opened or read.
std::vector<TChunkPiece> chunkFile(const QString& path);

/// The pieces of data held in memory; the same cut points as for a file with these bytes.
std::vector<TChunkPiece> chunkBuffer(const void* data, std::size_t size);
std::vector<TChunkPiece> chunkBuffer(const QByteArray& data);

} // namespace shared
