#include "ChunkingTestData.h"

#include <QFile>
#include <QTextStream>

#include <algorithm>
#include <cstring>

namespace chunkingtest {

QByteArray xorshiftBytes(quint64 seed, int size)
{
    QByteArray data(size, Qt::Uninitialized);
    quint64 state = seed;
    for (int position = 0; position < size; position += 8) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        unsigned char word[8];
        for (int k = 0; k < 8; ++k)
            word[k] = static_cast<unsigned char>(state >> (8 * k));
        std::memcpy(data.data() + position, word, static_cast<std::size_t>(std::min(8, size - position)));
    }
    return data;
}

QByteArray goldenStream()
{
    QByteArray pattern(5 * MiB + 3, Qt::Uninitialized);
    for (int i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<char>(i % 251);
    return xorshiftBytes(0x9E3779B97F4A7C15ull, 40 * MiB + 12345) + QByteArray(20 * MiB, '\0') +
           xorshiftBytes(0x0123456789ABCDEFull, 30 * MiB + 777) + pattern;
}

TGoldenVectors readGoldenVectors()
{
    TGoldenVectors vectors;
    QFile file(QStringLiteral(QUENMAR_SOURCE_DIR "/tests/data/chunking/golden_pieces.txt"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return vectors;
    QTextStream in(&file);
    while (!in.atEnd()) {
        const QStringList fields = in.readLine().split(QLatin1Char(' '), Qt::SkipEmptyParts);
        if (fields.size() == 3 && fields[0] == QLatin1String("#") && fields[1] == QLatin1String("stream-size")) {
            vectors.streamSize = fields[2].toLongLong();
        } else if (fields.size() == 3 && fields[0] == QLatin1String("#")) {
            const QByteArray digest = QByteArray::fromHex(fields[2].toLatin1());
            if (fields[1] == QLatin1String("gear-table-sha256"))
                vectors.gearTableSha256 = digest;
            else if (fields[1] == QLatin1String("stream-sha256"))
                vectors.streamSha256 = digest;
        } else if (fields.size() == 3) {
            vectors.pieces.push_back(
                {fields[0].toULongLong(), fields[1].toULongLong(), QByteArray::fromHex(fields[2].toLatin1())});
        }
    }
    return vectors;
}

bool writeFile(const QString& path, const QByteArray& data)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(data) == data.size() && file.flush();
}

QString describeDifference(const std::vector<shared::TChunkPiece>& actual,
                           const std::vector<shared::TChunkPiece>& expected)
{
    const auto describe = [](const shared::TChunkPiece& piece) {
        return QStringLiteral("(%1, %2, %3)")
            .arg(piece.offset)
            .arg(piece.size)
            .arg(QString::fromLatin1(piece.sha256.toHex()));
    };
    const std::size_t common = std::min(actual.size(), expected.size());
    for (std::size_t i = 0; i < common; ++i) {
        if (actual[i] != expected[i])
            return QStringLiteral("piece %1: got %2, expected %3")
                .arg(i)
                .arg(describe(actual[i]), describe(expected[i]));
    }
    if (actual.size() != expected.size())
        return QStringLiteral("got %1 pieces, expected %2").arg(actual.size()).arg(expected.size());
    return QString();
}

} // namespace chunkingtest
