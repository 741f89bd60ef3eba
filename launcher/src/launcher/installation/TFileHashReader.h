#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <functional>
#include <memory>

namespace orvan::launcher {

/// Reads whole files with large unbuffered reads into one buffer that it keeps for its lifetime
/// (allocated on first use) and hashes them with SHA-256. One reader serves one thread.
class TFileHashReader
{
public:
    static constexpr std::size_t DefaultPortionSize = 10 * 1024 * 1024;

    enum class EResult
    {
        Completed,
        /// Missing, not a regular file, or not openable.
        OpenFailed,
        ReadFailed,
        /// The stop condition held before the file was read to its end.
        Stopped
    };

    /// Called after each successful read with the number of bytes it returned.
    using TProgressHandler = std::function<void(qint64 bytes)>;
    /// Asked before each read; true ends the read with Stopped.
    using TStopCondition = std::function<bool()>;

    explicit TFileHashReader(std::size_t portionSize = DefaultPortionSize);
    ~TFileHashReader();
    TFileHashReader(const TFileHashReader&) = delete;
    TFileHashReader& operator=(const TFileHashReader&) = delete;

    /// Hashes the file at Path; Hash receives the raw 32-byte digest on success and is cleared
    /// otherwise. A FIFO or device is refused before it is opened, so it can't block the reader.
    EResult hashFile(const QString& path, QByteArray& hash, const TProgressHandler& progress = {},
                     const TStopCondition& shouldStop = {});

private:
    std::size_t m_portionSize;
    std::unique_ptr<char[]> m_buffer;
};

} // namespace orvan::launcher
