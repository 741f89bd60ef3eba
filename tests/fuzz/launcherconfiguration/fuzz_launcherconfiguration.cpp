#include "LauncherConfigurationFuzzCheck.h"

#include <QtGlobal>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // Parse warnings of every rejected input would drown libFuzzer's own output.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size)
{
    const QString problem =
        checkLauncherConfigurationInput(QByteArray(reinterpret_cast<const char*>(Data), static_cast<int>(Size)));
    if (!problem.isEmpty()) {
        std::fprintf(stderr, "invariant broken: %s\n", qPrintable(problem));
        std::abort();
    }
    return 0;
}
