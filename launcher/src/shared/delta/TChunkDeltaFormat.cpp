#include "TChunkDeltaFormat.h"

#include "TChunkDeltaError.h"

#include <QtEndian>

#include <array>

namespace shared {

namespace {

constexpr char Magic[] = "QCD1";
constexpr int MagicBytes = 4;

} // namespace

QByteArray TChunkDeltaFormat::writeHeader(const THeader& header)
{
    QByteArray bytes(Magic, MagicBytes);
    const std::array<quint32, 4> fields{header.head.baseOffset, header.head.length, header.tail.baseOffset,
                                        header.tail.length};
    for (const quint32 field : fields) {
        std::array<char, 4> encoded{};
        qToLittleEndian(field, encoded.data());
        bytes.append(encoded.data(), static_cast<int>(encoded.size()));
    }
    return bytes;
}

TChunkDeltaFormat::THeader TChunkDeltaFormat::readHeader(const QByteArray& delta, quint64 baseSize, quint64 chunkSize)
{
    if (delta.size() < HeaderBytes || !delta.startsWith(QByteArray::fromRawData(Magic, MagicBytes)))
        throw TChunkDeltaError(QStringLiteral("not a chunk delta"));
    const auto field = [&delta](int index) {
        return qFromLittleEndian<quint32>(delta.constData() + MagicBytes + index * 4);
    };
    const THeader header{{field(0), field(1)}, {field(2), field(3)}};
    for (const TCopy& copy : {header.head, header.tail}) {
        if (quint64(copy.baseOffset) + copy.length > baseSize)
            throw TChunkDeltaError(QStringLiteral("the delta copies from beyond its base"));
    }
    if (quint64(header.head.length) + header.tail.length > chunkSize)
        throw TChunkDeltaError(QStringLiteral("the delta copies more than the chunk holds"));
    return header;
}

int TChunkDeltaFormat::windowLogFor(quint64 bytes)
{
    // zstd's smallest window is 1 KiB; 2^27 covers the largest base and chunk.
    int log = 10;
    while (log < 27 && (quint64(1) << log) < bytes)
        ++log;
    return log;
}

} // namespace shared
