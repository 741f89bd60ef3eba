#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace shared {

/// Detects and decodes the compressed container that wraps downloaded chunks and ".lzma" files.
class TContainerDecoder
{
public:
    enum class EResult
    {
        NotContainer, ///< output is the input unchanged
        Decoded,
        Failed,
    };

    /// No limit beyond what a QByteArray can hold.
    static constexpr qint64 Unbounded = -1;

    /// Decodes input into output. A container declaring more than maxUnpackedSize bytes (when the
    /// bound is not Unbounded), or more than a QByteArray can hold, fails without allocating.
    static EResult decode(const QByteArray& input, QByteArray& output, qint64 maxUnpackedSize = Unbounded);

    static qint64 maxByteArraySize();
};

/// Returns the decoded bytes of a container, or the input unchanged when it is not a container.
/// Throws TDecompressionError when a container cannot be decoded.
QByteArray decompressContainer(QByteArray input);

/// As above, but the output never exceeds maxUnpackedSize bytes: a container declaring more fails.
QByteArray decompressContainer(const QByteArray& input, qint64 maxUnpackedSize);

} // namespace shared
