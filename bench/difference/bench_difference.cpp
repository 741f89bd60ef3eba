// Measures the difference computation and the verification of an installation directory.
//
//   bench_difference generate <dir> <count> <bytes> <seed>   pseudo-random files f000.bin ...
//   bench_difference describe <dir> <document>                package document of the files (chunked)
//   bench_difference scan <dir> <document>                    difference computation, every chunk in place
//   bench_difference verify <dir> <document>                  verification of every file
//
// Results are printed as key=value pairs; peak_rss_kib is the process's VmHWM.

#include "chunking/TFileChunkScanner.h"
#include "configuration/TPackage.h"
#include "hash/TSha256.h"
#include "installation/ProcessAllocator.h"
#include "installation/TPackageInstallation.h"
#include "settings/TLauncherFilesystemHelper.h"

#include "BenchMeasures.h"

#include <QCoreApplication>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFutureWatcher>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtConcurrent>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

using namespace orvan::launcher;

namespace {

using bench::Clock;
using bench::peakRssKib;
using bench::quietMessages;
using bench::secondsSince;

int generate(const QString& directory, int count, qint64 size, quint64 seed)
{
    QDir().mkpath(directory);
    std::vector<char> block(16 * 1024 * 1024);
    quint64 state = seed * 0x9E3779B97F4A7C15ull + 1;
    for (int index = 0; index < count; ++index) {
        QFile file(QDir(directory).filePath(QStringLiteral("f%1.bin").arg(index, 3, 10, QLatin1Char('0'))));
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 1;
        for (qint64 written = 0; written < size;) {
            const qint64 length = std::min<qint64>(qint64(block.size()), size - written);
            for (qint64 position = 0; position < length; position += 8) {
                state ^= state << 13;
                state ^= state >> 7;
                state ^= state << 17;
                std::memcpy(block.data() + position, &state, std::size_t(std::min<qint64>(8, length - position)));
            }
            if (file.write(block.data(), length) != length)
                return 1;
            written += length;
        }
    }
    return 0;
}

int describe(const QString& directory, const QString& documentPath)
{
    QJsonArray chunks;
    QJsonArray files;
    shared::TFileChunkScanner scanner;
    for (const QString& name : QDir(directory).entryList(QDir::Files, QDir::Name)) {
        shared::TSha256 fileHash;
        QJsonArray indices;
        quint64 size = 0;
        const auto result = scanner.scanFile(
            QDir(directory).filePath(name), [&](const shared::TChunkPiece& piece, const unsigned char* data) {
                fileHash.addData(data, std::size_t(piece.size));
                indices.append(chunks.size());
                chunks.append(QJsonObject{{QStringLiteral("url"), QStringLiteral("c/%1").arg(chunks.size())},
                                          {QStringLiteral("unpackedsize"), double(piece.size)},
                                          {QStringLiteral("unpackedhash"), QString::fromLatin1(piece.sha256.toHex())}});
                size += piece.size;
                return true;
            });
        if (result != shared::TFileChunkScanner::EResult::Completed)
            return 1;
        files.append(QJsonObject{{QStringLiteral("localfile"), name},
                                 {QStringLiteral("unpackedsize"), double(size)},
                                 {QStringLiteral("unpackedhash"), QString::fromLatin1(fileHash.result().toHex())},
                                 {QStringLiteral("chunks"), indices}});
    }
    QFile document(documentPath);
    if (!document.open(QIODevice::WriteOnly))
        return 1;
    document.write(QJsonDocument(QJsonObject{{QStringLiteral("version"), QStringLiteral("1")},
                                             {QStringLiteral("chunks"), chunks},
                                             {QStringLiteral("files"), files}})
                       .toJson(QJsonDocument::Compact));
    return 0;
}

/// Runs Task on the global thread pool, as the launcher does, and waits without taking it over.
template <typename T, typename F> T runOnPool(F task)
{
    QFutureWatcher<T> watcher;
    QEventLoop loop;
    QObject::connect(&watcher, &QFutureWatcher<T>::finished, &loop, &QEventLoop::quit);
    watcher.setFuture(QtConcurrent::run(task));
    loop.exec();
    return watcher.result();
}

TPackageConfigurationReader readDocument(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    const QUrl base = QUrl::fromLocalFile(QStringLiteral("/bench"));
    return TPackageConfigurationReader(file.readAll(), QByteArray(), base, base);
}

int scan(TPackageInstallation& installation, const QDir& directory, const TPackageConfigurationReader& offered)
{
    quint64 bytes = 0;
    for (const TFileInPackage& file : offered.files())
        bytes += file.unpackedSize;
    const Clock::time_point start = Clock::now();
    const TPackageDifference difference = runOnPool<TPackageDifference>([&] {
        return installation.ComputeRequiredChanges(directory, installation.helper(), offered,
                                                   TPackageConfigurationReader(), false);
    });
    const double seconds = secondsSince(start);
    std::printf("mode=scan files=%zu bytes=%llu seconds=%.3f mb_per_s=%.1f downloads=%zu peak_rss_kib=%ld\n",
                offered.files().size(), static_cast<unsigned long long>(bytes), seconds,
                static_cast<double>(bytes) / seconds / 1e6, difference.filesToDownload.size(), peakRssKib());
    return difference.filesToDownload.empty() && !difference.hasInvalidPackageData() ? 0 : 1;
}

int verify(TPackageInstallation& installation, const QDir& directory, const TPackageConfigurationReader& offered)
{
    quint64 bytes = 0;
    for (const TFileInPackage& file : offered.files())
        bytes += file.unpackedSize;
    const Clock::time_point start = Clock::now();
    const bool result =
        runOnPool<bool>([&] { return installation.VerifyPackage(directory, installation.helper(), offered.files()); });
    const double seconds = secondsSince(start);
    std::printf("mode=verify files=%zu bytes=%llu seconds=%.3f mb_per_s=%.1f result=%s peak_rss_kib=%ld\n",
                offered.files().size(), static_cast<unsigned long long>(bytes), seconds,
                static_cast<double>(bytes) / seconds / 1e6, result ? "true" : "false", peakRssKib());
    return result ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    // As the launcher does: scan and verification allocate the way they do there.
    tuneProcessAllocator();
    QCoreApplication application(argc, argv);
    qInstallMessageHandler(quietMessages);
    const QStringList arguments = application.arguments();
    if (arguments.size() == 6 && arguments.at(1) == QLatin1String("generate"))
        return generate(arguments.at(2), arguments.at(3).toInt(), arguments.at(4).toLongLong(),
                        arguments.at(5).toULongLong());
    if (arguments.size() == 4 && arguments.at(1) == QLatin1String("describe"))
        return describe(arguments.at(2), arguments.at(3));
    if (arguments.size() == 4 &&
        (arguments.at(1) == QLatin1String("scan") || arguments.at(1) == QLatin1String("verify"))) {
        const QDir directory(arguments.at(2));
        const TPackageConfigurationReader offered = readDocument(arguments.at(3));
        auto package =
            std::make_shared<TPackage>(0, QJsonObject{{QStringLiteral("name"), QStringLiteral("bench")}}, QUrl());
        TPackageInstallation installation(package, std::make_shared<TLauncherFilesystemHelper>());
        return arguments.at(1) == QLatin1String("scan") ? scan(installation, directory, offered)
                                                        : verify(installation, directory, offered);
    }
    std::fprintf(stderr,
                 "usage: %s generate <dir> <count> <bytes> <seed> | describe <dir> <document> | "
                 "scan <dir> <document> | verify <dir> <document>\n",
                 argv[0]);
    return 2;
}
