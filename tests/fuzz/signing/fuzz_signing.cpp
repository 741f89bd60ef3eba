#include "SigningFuzzCheck.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const QString problem = checkSigningInput(QByteArray(reinterpret_cast<const char*>(Data), static_cast<int>(Size)));
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "invariant broken: %s\n", qPrintable(problem));
        std::abort();
    }
    return 0;
}
