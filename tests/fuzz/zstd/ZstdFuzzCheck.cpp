#include "ZstdFuzzCheck.h"

#include "compression/TContainerDecoder.h"
#include "compression/TContainerEncoder.h"
#include "compression/TContainerHeader.h"

#include <zstd.h>

using shared::EContainerAlgorithm;
using shared::TContainerDecoder;
using shared::TContainerEncoder;
using shared::TContainerHeader;

namespace {

constexpr qint64 MaxUnpackedSize = 1 << 20;

QByteArray words(int size, quint32 seed)
{
    static const char* const vocabulary[] = {"chunk ", "object ", "frame ", "window ", "size\n", "0x28b52ffd "};
    QByteArray result;
    while (result.size() < size) {
        seed = seed * 1664525u + 1013904223u;
        result.append(vocabulary[(seed >> 8) % 6]);
    }
    result.truncate(size);
    return result;
}

QByteArray noise(int size, quint32 seed)
{
    QByteArray result(size, Qt::Uninitialized);
    for (char& byte : result) {
        seed = seed * 1664525u + 1013904223u;
        byte = static_cast<char>(seed >> 24);
    }
    return result;
}

QString checkDecodedZstd(const TContainerHeader& header, const QByteArray& input, const QByteArray& output)
{
    const char* payload = input.constData() + header.payloadOffset;
    const unsigned long long contentSize = ZSTD_getFrameContentSize(payload, std::size_t(header.packedSize));
    if (contentSize != ZSTD_CONTENTSIZE_UNKNOWN && contentSize != quint64(output.size()))
        return QStringLiteral("the output differs from the frame's content size");
    const QByteArray again = TContainerEncoder::encode(output, EContainerAlgorithm::Zstd, 1);
    QByteArray decodedAgain;
    if (TContainerDecoder::decode(again, decodedAgain) != TContainerDecoder::EResult::Decoded || decodedAgain != output)
        return QStringLiteral("the decoded bytes do not survive a round trip through the encoder");
    return {};
}

} // namespace

QString checkZstdContainerInput(const QByteArray& data)
{
    QByteArray output;
    const TContainerDecoder::EResult result = TContainerDecoder::decode(data, output, MaxUnpackedSize);
    if (result == TContainerDecoder::EResult::NotContainer)
        return output == data ? QString() : QStringLiteral("plain data was changed");
    if (result == TContainerDecoder::EResult::Failed)
        return {};
    TContainerHeader header;
    if (TContainerHeader::parse(data, header) != TContainerHeader::EParseResult::Valid)
        return QStringLiteral("a container that does not parse was decoded");
    if (quint64(output.size()) > header.unpackedSize || output.size() > MaxUnpackedSize)
        return QStringLiteral("the output exceeds the declared size or the bound");
    if (header.algorithmId == quint8(EContainerAlgorithm::Zstd))
        return checkDecodedZstd(header, data, output);
    return {};
}

QList<QByteArray> zstdContainerSeeds()
{
    const struct
    {
        QByteArray content;
        int level;
    } seeds[] = {
        {QByteArray("q"), 1},
        {words(1000, 1), 1},
        {words(20000, 2), 19},
        {noise(3000, 3), 3},
        {words(60000, 4), 9},
        {QByteArray(40000, 'z'), 19},
        {words(5000, 5) + noise(500, 6), 12},
    };
    QList<QByteArray> containers;
    for (const auto& seed : seeds)
        containers << TContainerEncoder::encode(seed.content, EContainerAlgorithm::Zstd, seed.level);
    return containers;
}
