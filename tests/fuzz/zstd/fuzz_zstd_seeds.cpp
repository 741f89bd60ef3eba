// Writes the seeds of fuzz_zstd into the folder given as the only argument (scripts/fuzz.sh).
#include "ZstdFuzzCheck.h"

#include <QDir>
#include <QFile>

#include <cstdio>

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.mkpath(QStringLiteral(".")))
        return 1;
    const QList<QByteArray> seeds = zstdContainerSeeds();
    for (int index = 0; index < seeds.size(); ++index) {
        QFile file(folder.filePath(QStringLiteral("seed-%1.bin").arg(index)));
        if (!file.open(QIODevice::WriteOnly) || file.write(seeds.at(index)) != seeds.at(index).size())
            return 1;
    }
    return 0;
}
