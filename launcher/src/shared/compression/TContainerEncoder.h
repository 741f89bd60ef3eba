#pragma once

#include "EContainerAlgorithm.h"

#include <QByteArray>

namespace shared {

/// Wraps data in a compressed container, the counterpart of TContainerDecoder used by the
/// packaging tools. Empty data is returned empty: a container must declare at least one byte.
class TContainerEncoder
{
public:
    static constexpr int DefaultLevel = -1;

    /// Encodes data with the algorithm (Stored, Deflate, Lzip, Lzma or Zstd) at the given level,
    /// clamped to minLevel..maxLevel (DefaultLevel means 9 for deflate, 19 for zstd and 6
    /// otherwise). Zstd frames carry the content size and a checksum. Throws std::runtime_error
    /// when the algorithm has no encoder or the library fails.
    static QByteArray encode(const QByteArray& data, EContainerAlgorithm algorithm, int level = DefaultLevel);

    /// The bare compressed stream without the container header.
    static QByteArray compressPayload(const QByteArray& data, EContainerAlgorithm algorithm, int level = DefaultLevel);

    /// The levels the algorithm accepts: 1..19 for zstd, 0..9 for the others.
    static int minLevel(EContainerAlgorithm algorithm);
    static int maxLevel(EContainerAlgorithm algorithm);

private:
    static QByteArray deflateRaw(const QByteArray& data, int level);
    static QByteArray lzipMember(const QByteArray& data, int level);
    static QByteArray lzmaAlone(const QByteArray& data, int level);
    static QByteArray zstdFrame(const QByteArray& data, int level);
};

} // namespace shared
