#include "TLauncherApplication.h"
#include "TLauncherCommandLine.h"

#include "hash/TCryptoLibrary.h"
#include "installation/ProcessAllocator.h"
#include "singleinstance/FirstInstanceTester.h"

#include <QDebug>
#include <QThread>

#include <cstdio>
#include <memory>
#include <stdexcept>

namespace {

bool printVersionIfRequested(int argc, char* argv[])
{
    orvan::launcher::TLauncherCommandLine commandLine;
    commandLine.parse(orvan::launcher::TLauncherCommandLine::argumentsOf(argc, argv));
    if (!commandLine.versionRequested())
        return false;
    std::printf("quenmar-launcher %s\n", qPrintable(orvan::launcher::TLauncherApplication::launcherVersion));
    return true;
}

} // namespace

int main(int argc, char* argv[])
{
    using orvan::launcher::TLauncherApplication;

    // Answered before the application object exists: needs no display, log, lock or network.
    if (printVersionIfRequested(argc, argv))
        return 0;

    orvan::launcher::tuneProcessAllocator();

    // Before anything can start the global thread pool, whose threads hash downloaded chunks.
    try {
        shared::TCryptoLibrary::initialise();
    } catch (const std::runtime_error& error) {
        std::fprintf(stderr, "%s\n", error.what());
        return 1;
    }

    auto application = std::make_unique<TLauncherApplication>(argc, argv);
    application->parseCommandLine();

    auto instanceTester = std::make_unique<shared::FirstInstanceTester>();
    switch (instanceTester->tryToBecomeFirstInstance()) {
    case shared::FirstInstanceTester::EResult::FirstInstance:
        break;
    case shared::FirstInstanceTester::EResult::AlreadyRunning:
        // The log belongs to the running instance, so this line goes to standard error.
        qInfo() << "Version:" << TLauncherApplication::launcherVersion << "already running"
                << " Thread: " << QThread::currentThreadId();
        instanceTester.reset();
        application.reset();
        return 0;
    case shared::FirstInstanceTester::EResult::Error:
        std::fprintf(stderr, "%s\n", qPrintable(instanceTester->errorText()));
        return 1;
    }

    application->setSingleInstanceRelease([&instanceTester] { instanceTester.reset(); });
    application->setupLogging();
    application->start();
    const int exitCode = application->exec();
    // A second launcher may only start once this one no longer touches the package folders.
    application->finishBackgroundWork();

    instanceTester.reset();
    application.reset();
    return exitCode;
}
