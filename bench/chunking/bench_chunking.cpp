// Measures the chunk scan of the launcher's difference computation.
//
//   bench_chunking generate <path> <bytes>   writes pseudo-random (incompressible) test data
//   bench_chunking scan <path> [repeats]     cuts and hashes the file, best of the repeats
//   bench_chunking cut <MiB>                 the bare chunker on random and on zero data in memory
//
// Results are printed as key=value pairs; peak_rss_kib is the process's maximum resident size.

#include "chunking/TContentDefinedChunker.h"
#include "chunking/TFileChunkScanner.h"

#include <QFile>
#include <QString>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point start)
{
    return std::chrono::duration<double>(Clock::now() - start).count();
}

long peakRssKib()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void fillRandom(unsigned char* data, std::size_t size, std::uint64_t& state)
{
    for (std::size_t position = 0; position < size; position += 8) {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        std::memcpy(data + position, &state, std::min<std::size_t>(8, size - position));
    }
}

int generate(const char* path, unsigned long long size)
{
    QFile file(QString::fromLocal8Bit(path));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "cannot create %s\n", path);
        return 1;
    }
    std::vector<unsigned char> block(16 * 1024 * 1024);
    std::uint64_t state = 0x9E3779B97F4A7C15ull;
    for (unsigned long long written = 0; written < size;) {
        const std::size_t length = static_cast<std::size_t>(std::min<unsigned long long>(block.size(), size - written));
        fillRandom(block.data(), length, state);
        if (file.write(reinterpret_cast<const char*>(block.data()), qint64(length)) != qint64(length)) {
            std::fprintf(stderr, "write failed on %s\n", path);
            return 1;
        }
        written += length;
    }
    return 0;
}

int scan(const char* path, int repeats)
{
    shared::TFileChunkScanner scanner;
    double best = 0;
    std::uint64_t bytes = 0;
    std::size_t pieces = 0;
    for (int round = 0; round < repeats; ++round) {
        bytes = 0;
        pieces = 0;
        const Clock::time_point start = Clock::now();
        const auto result =
            scanner.scanFile(QString::fromLocal8Bit(path), [&](const shared::TChunkPiece& piece, const unsigned char*) {
                bytes += piece.size;
                ++pieces;
                return true;
            });
        const double seconds = secondsSince(start);
        if (result != shared::TFileChunkScanner::EResult::Completed) {
            std::fprintf(stderr, "scan failed: %s\n", qPrintable(scanner.errorString()));
            return 1;
        }
        if (round == 0 || seconds < best)
            best = seconds;
    }
    std::printf("mode=scan bytes=%llu pieces=%zu seconds=%.3f mb_per_s=%.1f peak_rss_kib=%ld\n",
                static_cast<unsigned long long>(bytes), pieces, best, bytes / best / 1e6, peakRssKib());
    return 0;
}

/// Feeds data to the chunker as one stream; returns the bytes the hash actually rolled over.
std::uint64_t cutAll(const std::vector<unsigned char>& data, std::size_t* pieces)
{
    shared::TContentDefinedChunker chunker;
    std::uint64_t hashed = 0;
    std::size_t position = 0;
    *pieces = 0;
    while (position < data.size()) {
        std::size_t cut = chunker.feed(data.data() + position, data.size() - position);
        if (cut == shared::TContentDefinedChunker::NoCut)
            cut = static_cast<std::size_t>(chunker.finish());
        if (cut > shared::TContentDefinedChunker::MinimumChunkSize)
            hashed += cut - shared::TContentDefinedChunker::MinimumChunkSize;
        position += cut;
        ++*pieces;
    }
    return hashed;
}

int cut(unsigned long long mebibytes)
{
    std::vector<unsigned char> data(static_cast<std::size_t>(mebibytes) * 1024 * 1024);
    std::uint64_t state = 12345;
    fillRandom(data.data(), data.size(), state);
    for (const char* kind : {"random", "zeros"}) {
        if (std::strcmp(kind, "zeros") == 0)
            std::memset(data.data(), 0, data.size());
        std::size_t pieces = 0;
        const Clock::time_point start = Clock::now();
        const std::uint64_t hashed = cutAll(data, &pieces);
        const double seconds = secondsSince(start);
        std::printf("mode=cut data=%s bytes=%zu pieces=%zu rolled_bytes=%llu seconds=%.3f "
                    "stream_mb_per_s=%.1f rolling_mb_per_s=%.1f\n",
                    kind, data.size(), pieces, static_cast<unsigned long long>(hashed), seconds,
                    data.size() / seconds / 1e6, hashed / seconds / 1e6);
    }
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 4 && std::strcmp(argv[1], "generate") == 0)
        return generate(argv[2], std::strtoull(argv[3], nullptr, 10));
    if (argc >= 3 && std::strcmp(argv[1], "scan") == 0)
        return scan(argv[2], argc >= 4 ? std::atoi(argv[3]) : 1);
    if (argc >= 3 && std::strcmp(argv[1], "cut") == 0)
        return cut(std::strtoull(argv[2], nullptr, 10));
    std::fprintf(stderr, "usage: %s generate <path> <bytes> | scan <path> [repeats] | cut <MiB>\n", argv[0]);
    return 2;
}
