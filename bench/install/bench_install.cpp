// bench_install <package.json> <objects base URL> <data folder> [max cached chunks] [max concurrent downloads]
//
// Installs the package that the document describes, from the server behind the base URL, into
// <data folder> with the launcher's installation manager, and prints the installed bytes, the
// time from the request to the end of the run, the throughput and the peak resident memory
// (VmHWM) together with its bound: (max concurrent downloads x 2 + max cached chunks + 1) x the
// largest chunk + 300 MiB. Exits 0 when the package ended up installed. With BENCH_INSTALL_NO_SYNC
// set, the sync of the file system before the full marker is left out, to measure what it costs.
// With BENCH_INSTALL_LOG_FOLDER set, the launcher's own log is written there. A package that is
// already installed and up to date is not installed again: the run ends once its state is known,
// as a launcher start does, and the time printed is the time since the start of the process.
// Also printed: lag_ms, the largest lateness of a 100 ms timer on the main thread during the run
// (how long the window would have stayed unresponsive), and queued_s, the time from the start of
// the download step until the pool held every request of the run, queued or started.
#include "configuration/ELocalPackageStatus.h"
#include "configuration/TLauncherConfigurationReader.h"
#include "configuration/TPackage.h"
#include "configuration/TPackageBuild.h"
#include "configuration/TPackageConfigurationReader.h"
#include "installation/ProcessAllocator.h"
#include "installation/TPackageFileDownloader.h"
#include "installation/TPackageInstallation.h"
#include "installationmanager/TInstallationManager.h"
#include "logging/TLogMessageHandler.h"
#include "settings/TLauncherFilesystemHelper.h"

#include "BenchMeasures.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <optional>

using namespace orvan::launcher;

namespace {

constexpr double MiB = 1024.0 * 1024.0;

QElapsedTimer sinceStart;
bool printEveryMessage = false;

/// Keeps the output to the benchmark's own lines, unless BENCH_INSTALL_LOG is set: then every
/// message goes to stderr with the milliseconds since the start, to see where the time goes.
void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (printEveryMessage)
        std::fprintf(stderr, "%8lld %s\n", static_cast<long long>(sinceStart.elapsed()), qPrintable(message));
    else if (type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

/// Peak resident set size of this process in bytes; 0 when it can't be read.
double peakResidentBytes()
{
    return static_cast<double>(std::max(bench::peakRssKib(), 0L)) * 1024.0;
}

/// The launcher's file system access without the sync that makes an installation durable.
class TNoSyncFileSystem : public shared::TFileSystemHelper
{
public:
    void syncFileSystem(const QString&) const override {}
};

/// Measures how late a 100 ms timer on the thread that creates it fires: the longest stretch the
/// event loop of that thread was busy with something else.
class TMainThreadLag
{
public:
    static constexpr qint64 IntervalMs = 100;

    TMainThreadLag()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(static_cast<int>(IntervalMs));
        QObject::connect(&m_timer, &QTimer::timeout, [this] {
            m_largestLatenessMs = std::max(m_largestLatenessMs, m_sinceTick.restart() - IntervalMs);
        });
        m_sinceTick.start();
        m_timer.start();
    }
    qint64 largestLatenessMs() const { return m_largestLatenessMs; }

private:
    QTimer m_timer;
    QElapsedTimer m_sinceTick;
    qint64 m_largestLatenessMs = 0;
};

QByteArray mainConfiguration()
{
    const QJsonObject build{{QStringLiteral("os"), QStringLiteral("linux")},
                            {QStringLiteral("architecture"), QStringLiteral("x86_64")},
                            {QStringLiteral("url"), QStringLiteral("package.json")}};
    const QJsonObject package{{QStringLiteral("name"), QStringLiteral("Benchmark")},
                              {QStringLiteral("directoryname"), QStringLiteral("benchmark")},
                              {QStringLiteral("builds"), QJsonArray{build}}};
    return QJsonDocument(QJsonObject{{QStringLiteral("packages"), QJsonArray{package}}}).toJson();
}

QString writeSettings(const QString& dataFolder, int maxCachedChunks, int maxConcurrentDownloads)
{
    const QString path = QDir(dataFolder).filePath(QStringLiteral("launchersettings.ini"));
    QDir().mkpath(dataFolder);
    QFile file(path);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(QStringLiteral("[DIRECTORIES]\npackages=packages\n[FILES]\npackageFile=package.json\n"
                              "partialPackageFile=partial-package.json\nassetFile=assets.json\n"
                              "accountGroupFile=accountgroup.json\n[OPTIONS]\nmaxCachedChunks=%1\n"
                              "maxConcurrentDownloads=%2\n")
                   .arg(maxCachedChunks)
                   .arg(maxConcurrentDownloads)
                   .toUtf8());
    return path;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_install <package.json> <objects base URL> <data folder> "
                             "[max cached chunks] [max concurrent downloads]\n");
        return 64;
    }
    tuneProcessAllocator();
    qputenv("XDG_DATA_HOME", QByteArray(argv[3]));
    QCoreApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Brelmor GmbH"));
    QCoreApplication::setApplicationName(QStringLiteral("Quenmar Online Benchmark"));
    sinceStart.start();
    printEveryMessage = qEnvironmentVariableIsSet("BENCH_INSTALL_LOG");
    if (qEnvironmentVariableIsSet("BENCH_INSTALL_LOG_FOLDER"))
        TLogMessageHandler::install(qEnvironmentVariable("BENCH_INSTALL_LOG_FOLDER"), QStringLiteral("bench_install"));
    else
        qInstallMessageHandler(quietHandler);
    const int maxCachedChunks = argc > 4 ? QByteArray(argv[4]).toInt() : 100;
    const int maxConcurrentDownloads = argc > 5 ? QByteArray(argv[5]).toInt() : 10;

    QFile documentFile(QString::fromLocal8Bit(argv[1]));
    if (!documentFile.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 66;
    }
    const QByteArray document = documentFile.readAll();
    const QUrl base(QString::fromLocal8Bit(argv[2]));
    const bool withSync = !qEnvironmentVariableIsSet("BENCH_INSTALL_NO_SYNC");
    auto helper = std::make_shared<TLauncherFilesystemHelper>(
        writeSettings(QString::fromLocal8Bit(argv[3]), maxCachedChunks, maxConcurrentDownloads),
        withSync ? std::make_shared<const shared::TFileSystemHelper>() : std::make_shared<const TNoSyncFileSystem>());
    auto configuration = std::make_shared<TLauncherConfigurationReader>(mainConfiguration(), base);
    const std::shared_ptr<TPackage> package = configuration->packages().at(0);
    const auto offered = std::make_shared<const TPackageConfigurationReader>(document, QByteArray(), base, base);
    package->currentBuild()->setConfiguration(offered);

    quint64 contentBytes = 0;
    for (const TFileInPackage& file : offered->files())
        contentBytes += file.unpackedSize;
    quint64 largestChunk = 0;
    for (const TChunkInPackage& chunk : offered->chunks())
        largestChunk = std::max(largestChunk, chunk.unpackedSize);

    TInstallationManager manager(configuration, helper);
    if (package->localPackageStatus() == ELocalPackageStatus::Installed) {
        const double seconds = static_cast<double>(sinceStart.nsecsElapsed()) / 1e9;
        std::printf("up to date after %.3f s\n", seconds);
        std::printf("RESULT seconds=%.3f bytes=0 peak=%.0f bound=0 lag_ms=0 queued_s=0\n", seconds,
                    peakResidentBytes());
        return 0;
    }
    int errorReason = -1;
    double queuedSeconds = 0;
    QObject::connect(&manager, &TInstallationManager::installationOrUpdateFinished, &manager,
                     [&](const TPackageInstallation& installation) {
                         errorReason = static_cast<int>(installation.errorReason());
                         queuedSeconds =
                             static_cast<double>(installation.fileDownloader()->queueingNanoseconds()) / 1e9;
                     });
    QObject::connect(&manager, &TInstallationManager::allStartedUpdatesFinished, &application, &QCoreApplication::quit);
    QElapsedTimer timer;
    timer.start();
    std::optional<TMainThreadLag> lag;
    lag.emplace();
    manager.installOrUpdatePackage(package);
    QCoreApplication::exec();
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    const qint64 lagMs = lag->largestLatenessMs();
    lag.reset();

    const double peak = peakResidentBytes();
    const double bound =
        static_cast<double>(maxConcurrentDownloads * 2 + maxCachedChunks + 1) * static_cast<double>(largestChunk) +
        300.0 * MiB;
    const bool installed = package->localPackageStatus() == ELocalPackageStatus::Installed;
    std::printf("installed %.1f MiB in %.3f s: %.1f MiB/s (error reason %d, %s, %s)\n",
                static_cast<double>(contentBytes) / MiB, seconds, static_cast<double>(contentBytes) / MiB / seconds,
                errorReason, installed ? "installed" : "NOT installed", withSync ? "synced" : "not synced");
    std::printf("peak resident memory (VmHWM) %.1f MiB; bound %.1f MiB (largest chunk %.1f MiB)\n", peak / MiB,
                bound / MiB, static_cast<double>(largestChunk) / MiB);
    std::printf("main thread: largest lateness of a 100 ms timer %lld ms (goal <= 250); every request queued "
                "%.3f s after the download step started (goal <= 1)\n",
                static_cast<long long>(lagMs), queuedSeconds);
    std::printf("RESULT seconds=%.3f bytes=%llu peak=%.0f bound=%.0f lag_ms=%lld queued_s=%.3f\n", seconds,
                static_cast<unsigned long long>(contentBytes), peak, bound, static_cast<long long>(lagMs),
                queuedSeconds);
    return installed ? 0 : 1;
}
