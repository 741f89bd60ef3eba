// libFuzzer entry for the ZPAQ stream decoder: the input is the stream itself, so the sample
// archives in tests/data/zpaq/ serve as seeds and every finding can be opened by the unit test.
// Limits are tighter than the product's so that each input stays within the fuzzer's memory and
// time budget; the code paths are the same.
#include "zpaq/TZpaqLimits.h"
#include "zpaq/TZpaqStreamDecoder.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    shared::TZpaqLimits limits;
    limits.maxBlockMemory = std::size_t(24) << 20;
    limits.baseInstructions = std::uint64_t(1) << 22;
    limits.instructionsPerCellAtEnd = 16;
    limits.decodedPerOutputByte = 2;
    static std::vector<unsigned char> output(std::size_t(64) << 10);
    try {
        shared::TZpaqStreamDecoder(limits).decode(data, size, output.data(), output.size());
    } catch (const std::exception&) {
        // Rejected input: the outcome every malformed stream should have.
    }
    return 0;
}
