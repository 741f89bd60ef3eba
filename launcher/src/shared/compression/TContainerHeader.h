#pragma once

#include <QByteArray>
#include <QtGlobal>

namespace shared {

/// The fixed part of a compressed container: padding, magic, algorithm id and both sizes.
/// Parsing never reads past the given bytes and reports malformed headers instead of guessing.
class TContainerHeader
{
public:
    enum class EParseResult
    {
        NotContainer, ///< the bytes are plain data and pass through unchanged
        Malformed,    ///< a container whose header or payload is damaged
        Valid,
    };

    static constexpr quint8 Magic = 0x70;
    static constexpr int MaxVarUIntBytes = 10;

    /// Parses data[0..size) and, when it is a complete container, fills header.
    static EParseResult parse(const char* data, qint64 size, TContainerHeader& header);
    static EParseResult parse(const QByteArray& data, TContainerHeader& header)
    {
        return parse(data.constData(), data.size(), header);
    }

    /// Serialised form of magic, id and sizes (no padding); the payload follows it.
    QByteArray toBytes() const;
    static void appendVarUInt(QByteArray& out, quint64 value);

    quint8 algorithmId = 0;
    quint64 unpackedSize = 0;
    quint64 packedSize = 0;
    qint64 payloadOffset = 0; ///< offset of the payload from the start of the parsed bytes
};

} // namespace shared
