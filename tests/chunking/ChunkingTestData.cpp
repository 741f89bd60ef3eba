#include "ChunkingTestData.h"

#include "support/TestFiles.h"
#include "support/TestRandom.h"

#include <QFile>
#include <QTextStream>

#include <algorithm>

namespace chunkingtest {

QByteArray goldenStream()
{
    QByteArray pattern(5 * MiB + 3, Qt::Uninitialized);
    for (int i = 0; i < pattern.size(); ++i)
        pattern[i] = static_cast<char>(i % 251);
    return testsupport::xorshiftBytes(0x9E3779B97F4A7C15ull, 40 * MiB + 12345) + QByteArray(20 * MiB, '\0') +
           testsupport::xorshiftBytes(0x0123456789ABCDEFull, 30 * MiB + 777) + pattern;
}

TGoldenVectors readGoldenVectors()
{
    TGoldenVectors vectors;
    QFile file(testsupport::testDataPath(QStringLiteral("chunking/golden_pieces.txt")));
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
