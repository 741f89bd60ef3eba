#include "TContainerDecoder.h"

#include "TContainerHeader.h"
#include "TDecompressionError.h"
#include "TDecompressor.h"

#include <limits>
#include <new>

namespace shared {

qint64 TContainerDecoder::maxByteArraySize()
{
    // QByteArray keeps its size in an int and needs room for its header and terminating zero.
    return std::numeric_limits<int>::max() - 64;
}

TContainerDecoder::EResult TContainerDecoder::decode(const QByteArray& input, QByteArray& output,
                                                     qint64 maxUnpackedSize)
{
    TContainerHeader header;
    switch (TContainerHeader::parse(input, header)) {
    case TContainerHeader::EParseResult::NotContainer:
        output = input;
        return EResult::NotContainer;
    case TContainerHeader::EParseResult::Malformed:
        return EResult::Failed;
    case TContainerHeader::EParseResult::Valid:
        break;
    }

    quint64 limit = static_cast<quint64>(maxByteArraySize());
    if (maxUnpackedSize >= 0 && static_cast<quint64>(maxUnpackedSize) < limit)
        limit = static_cast<quint64>(maxUnpackedSize);
    if (header.unpackedSize == 0 || header.unpackedSize > limit || header.packedSize == 0)
        return EResult::Failed;

    QByteArray buffer;
    try {
        buffer = QByteArray(static_cast<int>(header.unpackedSize), Qt::Uninitialized);
    } catch (const std::bad_alloc&) {
        return EResult::Failed;
    }
    std::size_t produced = static_cast<std::size_t>(header.unpackedSize);
    const auto* payload = reinterpret_cast<const std::uint8_t*>(input.constData() + header.payloadOffset);
    if (!TDecompressor::unpack(header.algorithmId, payload, static_cast<std::size_t>(header.packedSize),
                               reinterpret_cast<std::uint8_t*>(buffer.data()), produced))
        return EResult::Failed;
    buffer.resize(static_cast<int>(produced));
    output = std::move(buffer);
    return EResult::Decoded;
}

QByteArray decompressContainer(QByteArray input)
{
    return decompressContainer(input, TContainerDecoder::Unbounded);
}

QByteArray decompressContainer(const QByteArray& input, qint64 maxUnpackedSize)
{
    QByteArray output;
    if (TContainerDecoder::decode(input, output, maxUnpackedSize) == TContainerDecoder::EResult::Failed)
        throw TDecompressionError();
    return output;
}

} // namespace shared
