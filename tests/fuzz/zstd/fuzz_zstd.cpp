// libFuzzer entry for zstd containers: the input is a whole container, so the header's sizes
// are explored along with the frame. scripts/fuzz.sh seeds it from fuzz_zstd_seeds.
#include "ZstdFuzzCheck.h"

#include <QtGlobal>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString problem =
        checkZstdContainerInput(QByteArray::fromRawData(reinterpret_cast<const char*>(data), static_cast<int>(size)));
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "invariant broken: %s\n", qPrintable(problem));
        std::abort();
    }
    return 0;
}
