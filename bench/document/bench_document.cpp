// Measures what a large package document costs before anything is downloaded.
//
//   bench_document <files> <chunks per file> [directory]
//
// Generates a package document of <files> files in memory: with 0 chunks per file every file is
// one whole-file object, otherwise each file is assembled from that many chunks of its own. It is
// then read, its difference against the installation directory (default: a new empty temporary
// folder, so every file must be fetched) is computed, and the downloads are planned, as one
// installation does. Results are printed as key=value pairs; the *_rss_kib values are VmHWM
// after each step, document_kib is the size of the document.

#include "configuration/TPackage.h"
#include "installation/ProcessAllocator.h"
#include "installation/TDownloadJobPlanner.h"
#include "installation/TPackageInstallation.h"
#include "settings/TLauncherFilesystemHelper.h"

#include "filesystemhelper/TFileSystemHelper.h"

#include "BenchMeasures.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>
#include <memory>

using namespace orvan::launcher;

namespace {

using bench::Clock;
using bench::peakRssKib;
using bench::quietMessages;
using bench::secondsSince;

QByteArray hashText(quint64 seed)
{
    return QCryptographicHash::hash(QByteArray::number(seed), QCryptographicHash::Sha256).toHex();
}

QByteArray objectKeys(const QByteArray& url, quint64 seed)
{
    const QByteArray size = QByteArray::number(1024 + seed % 15360);
    return "\"url\":\"" + url + "\",\"packedsize\":" + size + ",\"packedhash\":\"" + hashText(seed + 1) +
           "\",\"unpackedsize\":" + size + ",\"unpackedhash\":\"" + hashText(seed) + "\"";
}

QByteArray generateDocument(int fileCount, int chunksPerFile)
{
    QByteArray chunks;
    QByteArray files;
    int chunkIndex = 0;
    for (int file = 0; file < fileCount; ++file) {
        const QByteArray name = "data/" + QByteArray::number(file % 100) + "/file" + QByteArray::number(file) + ".dat";
        if (!files.isEmpty())
            files += ',';
        if (chunksPerFile == 0) {
            files += "{\"localfile\":\"" + name + "\"," + objectKeys("o/" + QByteArray::number(file), file) + "}";
            continue;
        }
        QByteArray indices;
        quint64 fileSize = 0;
        for (int chunk = 0; chunk < chunksPerFile; ++chunk, ++chunkIndex) {
            if (!chunks.isEmpty())
                chunks += ',';
            chunks += "{" + objectKeys("c/" + QByteArray::number(chunkIndex), chunkIndex) + "}";
            indices += (chunk == 0 ? "" : ",") + QByteArray::number(chunkIndex);
            fileSize += 1024 + quint64(chunkIndex) % 15360;
        }
        files += "{\"localfile\":\"" + name + "\",\"unpackedsize\":" + QByteArray::number(fileSize) +
                 ",\"unpackedhash\":\"" + hashText(file) + "\",\"chunks\":[" + indices + "]}";
    }
    return "{\"version\":\"1\",\"chunks\":[" + chunks + "],\"files\":[" + files + "]}";
}

} // namespace

int main(int argc, char** argv)
{
    // As the launcher does: the measured peak is the launcher's.
    tuneProcessAllocator();
    QCoreApplication application(argc, argv);
    qInstallMessageHandler(quietMessages);
    const QStringList arguments = application.arguments();
    if (arguments.size() < 3 || arguments.size() > 4) {
        std::fprintf(stderr, "usage: %s <files> <chunks per file> [directory]\n", argv[0]);
        return 2;
    }
    QTemporaryDir temporary;
    const QDir directory(arguments.size() == 4 ? arguments.at(3) : temporary.path());

    Clock::time_point start = Clock::now();
    QByteArray document = generateDocument(arguments.at(1).toInt(), arguments.at(2).toInt());
    const long documentKib = long(document.size() / 1024);
    const long generatedRss = peakRssKib();

    start = Clock::now();
    const QUrl base(QStringLiteral("http://127.0.0.1:8080/packages/bench/"));
    const auto offered =
        std::make_shared<const TPackageConfigurationReader>(std::move(document), QByteArray(), base, base);
    const double parseSeconds = secondsSince(start);
    const long parsedRss = peakRssKib();

    auto package =
        std::make_shared<TPackage>(0, QJsonObject{{QStringLiteral("name"), QStringLiteral("bench")}}, QUrl());
    auto helper = std::make_shared<TLauncherFilesystemHelper>();
    TPackageInstallation installation(package, helper);
    installation.setInstallationDirectory(directory);
    start = Clock::now();
    TPackageDifference difference =
        installation.startComputingRequiredChanges(*offered, TPackageConfigurationReader(), false).result();
    const double differenceSeconds = secondsSince(start);
    const long differenceRss = peakRssKib();

    start = Clock::now();
    const TDownloadJobPlanner planner(directory, [helper](const QDir& in, const QString& localFile) {
        return helper->fileSystemHelper().resolvePathInsideDirectory(in, localFile);
    });
    const std::size_t downloads = difference.filesToDownload.size();
    const TDownloadPlan plan = planner.plan(TFileToDownload::takeAsList(difference.filesToDownload));
    const double planSeconds = secondsSince(start);

    std::printf("valid=%s files=%zu chunks=%zu document_kib=%ld generated_rss_kib=%ld parsed_rss_kib=%ld "
                "difference_rss_kib=%ld peak_rss_kib=%ld parse_s=%.3f difference_s=%.3f plan_s=%.3f "
                "downloads=%zu jobs=%zu\n",
                offered->isValid() ? "true" : "false", offered->files().size(), offered->chunks().size(), documentKib,
                generatedRss, parsedRss, differenceRss, peakRssKib(), parseSeconds, differenceSeconds, planSeconds,
                downloads, plan.jobs.size());
    return offered->isValid() ? 0 : 1;
}
