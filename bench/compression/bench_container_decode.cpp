// Helper for run.sh:
//   bench_container_decode generate SIZE_MIB OUT      compressible, deterministic test data
//   bench_container_decode wrap ID SIZE PAYLOAD OUT   wraps a tool-made stream in a container
//   bench_container_decode decode CONTAINER [ROUNDS]  decodes it and prints the best time
//   bench_container_decode decode-list LIST           decodes every container named in LIST (one
//                                                     path per line) on one thread and prints the
//                                                     seconds, the bytes produced and the count
#include "compression/TContainerDecoder.h"
#include "compression/TContainerHeader.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QFile>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

QByteArray readFile(const char* path)
{
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", path);
        std::exit(1);
    }
    return file.readAll();
}

void writeFile(const char* path, const QByteArray& data)
{
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size()) {
        std::fprintf(stderr, "cannot write %s\n", path);
        std::exit(1);
    }
}

/// Log-like records: repeated field names, counters and hex ids, roughly 4:1 for LZMA.
QByteArray generate(qint64 size)
{
    static const char* const words[] = {"install", "update", "verify", "chunk", "package", "download", "client",
                                        "offset",  "size",   "hash",   "file",  "write",   "launcher", "build"};
    QByteArray data;
    data.reserve(int(size) + 256);
    quint64 state = 0x9E3779B97F4A7C15ull;
    char line[256];
    long long counter = 0;
    while (data.size() < size) {
        state = state * 6364136223846793005ull + 1442695040888963407ull;
        const auto r = static_cast<unsigned>(state >> 33);
        const int length =
            std::snprintf(line, sizeof line, "%lld %s %s file=%s/%s_%u.dat offset=%u hash=%08x%04x\n", counter++,
                          words[r % 14], words[(r >> 4) % 14], words[(r >> 8) % 14], words[(r >> 12) % 14], r % 977,
                          (r >> 3) % 65536 * 4096, static_cast<unsigned>(state >> 20), r & 0xFFFF);
        data.append(line, length);
    }
    data.truncate(int(size));
    return data;
}

/// Reads every listed container first, so that only decoding is timed.
int decodeList(const char* listPath)
{
    std::vector<QByteArray> inputs;
    for (const QByteArray& line : readFile(listPath).split('\n')) {
        if (!line.isEmpty())
            inputs.push_back(readFile(line.constData()));
    }
    QElapsedTimer timer;
    timer.start();
    qint64 produced = 0;
    for (const QByteArray& input : inputs) {
        QByteArray output;
        if (shared::TContainerDecoder::decode(input, output) == shared::TContainerDecoder::EResult::Failed) {
            std::fprintf(stderr, "decoding failed\n");
            return 1;
        }
        produced += output.size();
    }
    std::printf("%.4f %lld %zu\n", timer.nsecsElapsed() / 1e9, static_cast<long long>(produced), inputs.size());
    return 0;
}

} // namespace

int main(int argc, char* argv[])
{
    const QByteArray command = argc > 1 ? argv[1] : "";
    if (command == "generate" && argc == 4) {
        writeFile(argv[3], generate(std::atoll(argv[2]) << 20));
        return 0;
    }
    if (command == "wrap" && argc == 6) {
        const QByteArray payload = readFile(argv[4]);
        shared::TContainerHeader header;
        header.algorithmId = static_cast<quint8>(std::atoi(argv[2]));
        header.unpackedSize = std::strtoull(argv[3], nullptr, 10);
        header.packedSize = static_cast<quint64>(payload.size());
        writeFile(argv[5], header.toBytes() + payload);
        return 0;
    }
    if (command == "decode" && (argc == 3 || argc == 4)) {
        const QByteArray input = readFile(argv[2]);
        const int rounds = argc == 4 ? std::atoi(argv[3]) : 1;
        qint64 best = -1;
        qint64 produced = 0;
        for (int round = 0; round < rounds; ++round) {
            QElapsedTimer timer;
            timer.start();
            QByteArray output;
            if (shared::TContainerDecoder::decode(input, output) == shared::TContainerDecoder::EResult::Failed) {
                std::fprintf(stderr, "decoding %s failed\n", argv[2]);
                return 1;
            }
            const qint64 elapsed = timer.nsecsElapsed();
            produced = output.size();
            if (best < 0 || elapsed < best)
                best = elapsed;
        }
        std::printf("%.4f %lld\n", best / 1e9, static_cast<long long>(produced));
        return 0;
    }
    if (command == "decode-list" && argc == 3)
        return decodeList(argv[2]);
    std::fprintf(stderr, "usage: bench_container_decode generate SIZE_MIB OUT | wrap ID SIZE PAYLOAD OUT | decode "
                         "CONTAINER [ROUNDS] | decode-list LIST\n");
    return 2;
}
