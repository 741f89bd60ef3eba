// Hashes a file through shared::TSha256 the way the launcher hashes local files (sequential reads
// into one reused buffer) and prints the digest and the throughput.
#include "hash/TSha256.h"

#include <QByteArray>
#include <QElapsedTimer>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>
#include <vector>

int main(int argc, char* argv[])
{
    if (argc < 2) {
        std::fprintf(stderr, "Usage: bench_sha256 FILE [BUFFER_KIB]\n");
        return 2;
    }
    const std::size_t bufferSize = (argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1024) * 1024;
    const int fd = ::open(argv[1], O_RDONLY);
    if (fd < 0) {
        std::fprintf(stderr, "bench_sha256: %s: %s\n", argv[1], std::strerror(errno));
        return 1;
    }
    std::vector<char> buffer(bufferSize);
    shared::TSha256 hash;
    QElapsedTimer timer;
    timer.start();
    long long total = 0;
    for (;;) {
        const ssize_t got = ::read(fd, buffer.data(), buffer.size());
        if (got < 0) {
            std::fprintf(stderr, "bench_sha256: read failed: %s\n", std::strerror(errno));
            return 1;
        }
        if (got == 0)
            break;
        hash.addData(buffer.data(), static_cast<std::size_t>(got));
        total += got;
    }
    const QByteArray digest = hash.result().toHex();
    const double seconds = timer.nsecsElapsed() / 1e9;
    ::close(fd);
    std::printf("%s  %s\n", digest.constData(), argv[1]);
    std::fprintf(stderr, "%lld bytes in %.3f s: %.1f MiB/s\n", total, seconds, total / seconds / (1 << 20));
    return 0;
}
