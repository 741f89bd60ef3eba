// Small CLI around the ZPAQ decoder for bench/zpaq/run.sh:
//   bench_zpaq generate FILE SIZE            deterministic test input (text, tables, code, noise)
//   bench_zpaq decode ARCHIVE ORIGINAL [N]   decodes N times (default 1), checks the result against
//                                            ORIGINAL and prints the best wall and CPU seconds
#include "zpaq/TZpaqDecoder.h"

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

namespace {

std::uint32_t nextRandom(std::uint32_t& state)
{
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}

// A mix resembling game client files: prose and markup, numeric tables, machine code with
// relative calls, and a share of already-compressed (random) data.
std::vector<unsigned char> makeInput(std::size_t size)
{
    static const char* const kWords[] = {"the",       "player",  "quest", "inventory", "sword", "dragon",  "shield",
                                         "<item id=", "/>",      "\n",    "level",     "gold",  "texture", "shader",
                                         "config",    "enabled", "false", "true",      "0.75",  "spawn"};
    std::vector<unsigned char> data;
    data.reserve(size);
    std::uint32_t state = 2463534242u;
    while (data.size() < size) {
        const std::uint32_t section = nextRandom(state) % 8;
        const std::size_t length = 4096 + nextRandom(state) % 65536;
        for (std::size_t i = 0; i < length && data.size() < size; ++i) {
            const std::uint32_t r = nextRandom(state);
            if (section < 4) {
                const char* word = kWords[r % (sizeof(kWords) / sizeof(kWords[0]))];
                while (*word != '\0' && data.size() < size)
                    data.push_back(static_cast<unsigned char>(*word++));
                data.push_back(' ');
            } else if (section < 6) {
                data.push_back(static_cast<unsigned char>(r % 7 == 0 ? 0xE8 : (r >> 8) % 32));
                data.push_back(static_cast<unsigned char>((r >> 16) % 4));
            } else if (section == 6) {
                data.push_back(static_cast<unsigned char>('0' + r % 10));
                if (r % 9 == 0)
                    data.push_back(r % 2 ? ',' : '\n');
            } else {
                data.push_back(static_cast<unsigned char>(r >> 24));
            }
        }
    }
    data.resize(size);
    return data;
}

std::vector<unsigned char> readFile(const char* path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

int generate(const char* path, std::size_t size)
{
    const std::vector<unsigned char> data = makeInput(size);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return out ? 0 : 1;
}

int decode(const char* archivePath, const char* originalPath, int repeats)
{
    const std::vector<unsigned char> archive = readFile(archivePath);
    const std::vector<unsigned char> original = readFile(originalPath);
    if (archive.empty() || original.empty()) {
        std::fprintf(stderr, "cannot read %s or %s\n", archivePath, originalPath);
        return 1;
    }
    // Uninitialised output, as a container decode gets it: the decoder writes every byte it reports.
    std::unique_ptr<unsigned char[]> output(new unsigned char[original.size()]);
    double bestWall = 1e30;
    double bestCpu = 1e30;
    for (int i = 0; i < repeats; ++i) {
        std::size_t size = original.size();
        const auto wallStart = std::chrono::steady_clock::now();
        const std::clock_t cpuStart = std::clock();
        const bool ok = shared::TZpaqDecoder::decode(archive.data(), archive.size(), output.get(), size);
        const double cpu = double(std::clock() - cpuStart) / CLOCKS_PER_SEC;
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wallStart).count();
        if (!ok || size != original.size() || !std::equal(original.begin(), original.end(), output.get())) {
            std::fprintf(stderr, "decoding %s failed or differs from %s\n", archivePath, originalPath);
            return 1;
        }
        bestWall = wall < bestWall ? wall : bestWall;
        bestCpu = cpu < bestCpu ? cpu : bestCpu;
    }
    std::printf("%.3f %.3f\n", bestWall, bestCpu);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const std::string command = argc > 1 ? argv[1] : "";
    if (command == "generate" && argc == 4)
        return generate(argv[2], std::strtoull(argv[3], nullptr, 10));
    if (command == "decode" && (argc == 4 || argc == 5))
        return decode(argv[2], argv[3], argc == 5 ? std::atoi(argv[4]) : 1);
    std::fprintf(stderr, "usage: %s generate FILE SIZE | decode ARCHIVE ORIGINAL [REPEATS]\n", argv[0]);
    return 2;
}
