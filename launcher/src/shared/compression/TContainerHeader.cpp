#include "TContainerHeader.h"

#include "EContainerAlgorithm.h"

namespace shared {

namespace {

/// Reads one LEB128 value at data[pos]; fails on a value running past the end, longer than
/// ten bytes or overflowing 64 bits.
bool readVarUInt(const char* data, qint64 size, qint64& pos, quint64& value)
{
    value = 0;
    for (int index = 0; index < TContainerHeader::MaxVarUIntBytes; ++index) {
        if (pos >= size)
            return false;
        const auto byte = static_cast<quint8>(data[pos++]);
        const quint64 group = byte & 0x7F;
        const int shift = 7 * index;
        // The tenth byte may only contribute the single remaining bit of a 64-bit value.
        if (shift == 63 && group > 1)
            return false;
        value |= group << shift;
        if ((byte & 0x80) == 0)
            return true;
    }
    return false;
}

} // namespace

TContainerHeader::EParseResult TContainerHeader::parse(const char* data, qint64 size, TContainerHeader& header)
{
    qint64 pos = 0;
    while (pos < size && data[pos] == 0)
        ++pos;
    if (size - pos < 2 || static_cast<quint8>(data[pos]) != Magic ||
        static_cast<quint8>(data[pos + 1]) >= ContainerAlgorithmLimit)
        return EParseResult::NotContainer;

    TContainerHeader parsed;
    parsed.algorithmId = static_cast<quint8>(data[pos + 1]);
    pos += 2;
    if (!readVarUInt(data, size, pos, parsed.unpackedSize) || !readVarUInt(data, size, pos, parsed.packedSize))
        return EParseResult::Malformed;
    if (parsed.packedSize > static_cast<quint64>(size - pos))
        return EParseResult::Malformed;
    if (parsed.algorithmId == static_cast<quint8>(EContainerAlgorithm::Stored) &&
        parsed.packedSize > parsed.unpackedSize)
        return EParseResult::Malformed;
    parsed.payloadOffset = pos;
    header = parsed;
    return EParseResult::Valid;
}

void TContainerHeader::appendVarUInt(QByteArray& out, quint64 value)
{
    do {
        quint8 byte = value & 0x7F;
        value >>= 7;
        if (value != 0)
            byte |= 0x80;
        out.append(static_cast<char>(byte));
    } while (value != 0);
}

QByteArray TContainerHeader::toBytes() const
{
    QByteArray bytes;
    bytes.reserve(2 + 2 * MaxVarUIntBytes);
    bytes.append(static_cast<char>(Magic));
    bytes.append(static_cast<char>(algorithmId));
    appendVarUInt(bytes, unpackedSize);
    appendVarUInt(bytes, packedSize);
    return bytes;
}

} // namespace shared
