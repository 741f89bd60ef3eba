// The launcher's whole flow with the real binary: packages published with quenmar-pack and served
// on 127.0.0.1, a launcher copy in a sandbox, and a shell-script client that reports how it was
// started. Covers the first launch, later starts, forced and requested patches, maintenance and
// the launcher's own update.
#include "QuenmarVersion.h"
#include "TFlowPublisher.h"
#include "TLauncherSandbox.h"
#include "TProgramProcesses.h"
#include "support/TTestHttpServer.h"
#include "support/TestFiles.h"
#include "support/TestMemory.h"
#include "support/TestRandom.h"
#include "support/TestWaits.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QtTest>

#include <unistd.h>

using testsupport::filesBelow;
using testsupport::pseudoRandom;
using testsupport::readFile;
using testsupport::TFlowPublisher;
using testsupport::TLauncherSandbox;
using testsupport::TProgramProcesses;
using testsupport::TTestHttpResponse;
using testsupport::TTestHttpServer;
using testsupport::writeFile;

namespace {

constexpr int RunTimeoutMs = 120000;
constexpr int WaitTimeoutMs = 60000;
const QString Online = QStringLiteral("QuenmarOnline");
const QString Realm = QStringLiteral("QuenmarTestRealm");
const QString Editor = QStringLiteral("QuenmarEditor");
const QString LauncherPackage = QStringLiteral("launcher");
const QString LauncherMarker = QStringLiteral("launcher-marker.txt");
// The backup a replaced launcher executable leaves behind.
const QString LauncherBackup = QStringLiteral("quenmar-launcher.old");
// A version the running launcher never has, whatever the project version is.
const QString OfferedLauncherVersion = QStringLiteral(QUENMAR_VERSION ".1");
const QString WindowShown = QStringLiteral("\"launcher_started\"");
const QByteArray UpToDate = "--package-is-up-to-date";

// Everything one scenario needs: the published tree, the server that serves it, a sandboxed
// launcher and a place for the client's report. The process guard is declared last, so it ends
// a restarted launcher before the sandbox folder goes away.
struct TFlow
{
    TTestHttpServer server;
    TFlowPublisher publisher;
    TLauncherSandbox sandbox;
    QTemporaryDir scratch;
    TProgramProcesses processes{sandbox.programDirectory()};
    QString reportPath = scratch.filePath(QStringLiteral("client-report.txt"));
    QString sources[3];

    bool prepare()
    {
        if (!server.isListening() || !publisher.isValid() || !sandbox.isValid() || !scratch.isValid())
            return false;
        server.setDocumentRoot(publisher.wwwDirectory());
        sandbox.setEnvironmentValue(TFlowPublisher::ReportVariable, reportPath);
        return sandbox.writeSettings(
            TFlowPublisher::launcherSettings(server.url(TFlowPublisher::MainConfigurationTarget)));
    }

    // Three clients in this order: two installed automatically, one only on request.
    bool publishClients(int generation)
    {
        const QString version = QStringLiteral("1.%1").arg(generation);
        sources[0] = publisher.writeClientSource(Online, generation, 2048);
        sources[1] = publisher.writeClientSource(Realm, generation, 384);
        sources[2] = publisher.writeClientSource(Editor, generation, 128);
        return !sources[2].isEmpty() &&
               publisher.publishClient(sources[0], Online, QStringLiteral("Quenmar Online"), true, version) &&
               publisher.publishClient(sources[1], Realm, QStringLiteral("Quenmar Test Realm"), true, version) &&
               publisher.publishClient(sources[2], Editor, QStringLiteral("Quenmar Editor"), false, version);
    }

    bool republishOnline(int generation)
    {
        sources[0] = publisher.writeClientSource(Online, generation, 2048);
        return !sources[0].isEmpty() && publisher.publishClient(sources[0], Online, QStringLiteral("Quenmar Online"),
                                                                true, QStringLiteral("1.%1").arg(generation));
    }

    QString launcherSourcePath() const { return publisher.sourceDirectory(QStringLiteral("launcher")); }

    QByteArray runningLauncher() const { return readFile(sandbox.launcherPath()); }

    // The launcher package: an executable (by default this sandbox's own launcher) and a marker
    // file. Below chunkThreshold the executable is one object, so any change replaces it whole.
    bool publishLauncher(const QString& chunkThreshold, const QString& version = OfferedLauncherVersion,
                         const QByteArray& executable = QByteArray())
    {
        const QString source = launcherSourcePath();
        const QString program = source + QStringLiteral("/quenmar-launcher");
        writeFile(program, executable.isEmpty() ? runningLauncher() : executable);
        writeFile(source + QLatin1Char('/') + LauncherMarker, "launcher " + version.toUtf8() + "\n");
        return publisher.publish(source, LauncherPackage,
                                 {QStringLiteral("--launcher"), QStringLiteral("--version"), version,
                                  QStringLiteral("--executable"), QStringLiteral("quenmar-launcher"),
                                  QStringLiteral("--executable-file"), QStringLiteral("quenmar-launcher"),
                                  QStringLiteral("--name"), QStringLiteral("Quenmar Online Launcher"),
                                  QStringLiteral("--algorithm"), QStringLiteral("deflate"), QStringLiteral("--level"),
                                  QStringLiteral("1"), QStringLiteral("--chunk-threshold"), chunkThreshold});
    }

    QString installed(const QString& package, const QString& file = {}) const
    {
        const QString directory = sandbox.packagesDirectory() + QLatin1Char('/') + package;
        return file.isEmpty() ? directory : directory + QLatin1Char('/') + file;
    }

    QString programFile(const QString& file) const { return sandbox.programDirectory() + QLatin1Char('/') + file; }

    QStringList report() const
    {
        return QString::fromUtf8(readFile(reportPath)).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

    QString reportValue(const QString& key) const
    {
        for (const QString& line : report()) {
            if (line.startsWith(key + QLatin1Char('=')))
                return line.mid(key.size() + 1);
        }
        return QString();
    }

    QStringList reportedArguments() const
    {
        QStringList arguments;
        for (const QString& line : report()) {
            if (line.startsWith(QStringLiteral("argument=")))
                arguments << line.mid(9);
        }
        return arguments;
    }
};

QString canonical(const QString& path)
{
    return QFileInfo(path).canonicalFilePath();
}

// Empty when every file of Source lies byte for byte in Installed, else the first difference.
QString differenceToSource(const QString& source, const QString& installed)
{
    const QStringList files = filesBelow(source);
    if (files.isEmpty())
        return QStringLiteral("empty source ") + source;
    for (const QString& file : files) {
        const QString installedFile = installed + QLatin1Char('/') + file;
        if (!QFileInfo::exists(installedFile))
            return QStringLiteral("missing: ") + installedFile;
        if (readFile(source + QLatin1Char('/') + file) != readFile(installedFile))
            return QStringLiteral("differs: ") + installedFile;
    }
    return QString();
}

// Empty when Installed holds exactly the files of Source, byte for byte, and besides them at most
// the given marker files; else the first difference.
QString treeDifference(const QString& source, const QString& installed, const QStringList& markers)
{
    const QString difference = differenceToSource(source, installed);
    if (!difference.isEmpty())
        return difference;
    const QStringList sourceFiles = filesBelow(source);
    QSet<QString> expected(sourceFiles.cbegin(), sourceFiles.cend());
    for (const QString& marker : markers)
        expected.insert(marker);
    for (const QString& file : filesBelow(installed)) {
        if (!expected.contains(file))
            return QStringLiteral("not in the source: ") + installed + QLatin1Char('/') + file;
    }
    return QString();
}

// Empty when the server got Count GET requests for each of Objects and none for anything else in
// the package's published folder apart from its documents; else the first deviation.
QString objectRequestDifference(const TTestHttpServer& server, const QString& package, const QStringList& objects,
                                int count)
{
    const QString folder = QStringLiteral("/launcher/%1/").arg(package);
    QHash<QString, int> requested;
    for (const auto& request : server.requests()) {
        const QString path = QString::fromUtf8(request.path());
        if (request.method == "GET" && path.startsWith(folder) && !path.endsWith(QStringLiteral(".json")))
            ++requested[path];
    }
    for (const QString& object : objects) {
        if (requested.value(object) != count)
            return QStringLiteral("requested %1 times instead of %2: %3")
                .arg(requested.value(object))
                .arg(count)
                .arg(object);
        requested.remove(object);
    }
    return requested.isEmpty() ? QString() : QStringLiteral("not an object of the package: ") + requested.begin().key();
}

// Collects the standard error of process until it holds text; false when it never does.
bool waitForStandardError(QProcess& process, const QByteArray& text, QByteArray& collected)
{
    return QTest::qWaitFor(
        [&] {
            collected += process.readAllStandardError();
            return collected.contains(text);
        },
        WaitTimeoutMs);
}

// Keeps a folder unwritable while it lives. Permission bits don't stop root, so for root the
// folder is made immutable as well; holds() tells whether either worked.
class TUnwritableFolder
{
public:
    explicit TUnwritableFolder(QString folder) : m_folder(std::move(folder))
    {
        QFile::setPermissions(m_folder, QFileDevice::ReadOwner | QFileDevice::ExeOwner);
        if (!holds())
            m_immutable = QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("+i"), m_folder}) == 0;
    }
    ~TUnwritableFolder()
    {
        if (m_immutable)
            QProcess::execute(QStringLiteral("chattr"), {QStringLiteral("-i"), m_folder});
        QFile::setPermissions(m_folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    TUnwritableFolder(const TUnwritableFolder&) = delete;
    TUnwritableFolder& operator=(const TUnwritableFolder&) = delete;

    bool holds() const
    {
        QTemporaryFile probe(m_folder + QStringLiteral("/probe-XXXXXX"));
        return !probe.open();
    }

private:
    QString m_folder;
    bool m_immutable = false;
};

// A small tmpfs mounted on a folder while it lives (needs root); unmounted lazily, so that a
// launcher that still holds files there can't keep it.
class TSmallDisk
{
public:
    TSmallDisk(QString folder, int megabytes) : m_folder(std::move(folder))
    {
        m_mounted =
            QDir().mkpath(m_folder) &&
            QProcess::execute(QStringLiteral("mount"),
                              {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                               QStringLiteral("size=%1m").arg(megabytes), QStringLiteral("tmpfs"), m_folder}) == 0;
    }
    ~TSmallDisk()
    {
        if (m_mounted)
            QProcess::execute(QStringLiteral("umount"), {QStringLiteral("-l"), m_folder});
    }
    TSmallDisk(const TSmallDisk&) = delete;
    TSmallDisk& operator=(const TSmallDisk&) = delete;

    bool isMounted() const { return m_mounted; }

private:
    QString m_folder;
    bool m_mounted = false;
};

bool endProcess(QProcess* process)
{
    process->kill();
    return process->waitForFinished(10000);
}

} // namespace

class TestLauncherFlow : public QObject
{
    Q_OBJECT

private:
    // The first launch that the later scenarios start from: both automatic packages installed,
    // the first one the default, its client started once (its report is removed again).
    void installWithFirstLaunch(TFlow& flow)
    {
        QVERIFY(flow.prepare());
        QVERIFY2(flow.publishClients(1), qPrintable(flow.publisher.errorText()));
        const auto result = flow.sandbox.run({QStringLiteral("--first-launch")}, RunTimeoutMs);
        QVERIFY2(result.finished && result.exitCode == 0, result.standardError.constData());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(flow.reportPath), WaitTimeoutMs);
        QVERIFY(QFile::remove(flow.reportPath));
    }

    void checkSelfUpdateRestart(TFlow& flow, const QStringList& originalArguments)
    {
        // Only the restarted launcher gets this far: the first one went into its update.
        QVERIFY2(flow.sandbox.waitForLog(QStringLiteral("onLauncherReadyForAction"), WaitTimeoutMs),
                 flow.sandbox.readLog().constData());
        const QByteArray log = flow.sandbox.readLog();
        QVERIFY2(log.contains("cleanupOldLauncherVersion"), log.constData());
        QVERIFY2(!log.contains("startSelfUpdate"), log.constData());
        const QList<qint64> running = flow.processes.running();
        QCOMPARE(running.size(), 1);
        const QStringList commandLine = TProgramProcesses::commandLine(running.constFirst());
        QVERIFY2(commandLine.contains(QStringLiteral("--skip-selfupdate")), qPrintable(commandLine.join(' ')));
        for (const QString& argument : originalArguments)
            QVERIFY2(commandLine.contains(argument), qPrintable(commandLine.join(' ')));
    }

    void checkLauncherInstalled(TFlow& flow)
    {
        const QString source = flow.launcherSourcePath();
        QCOMPARE(readFile(flow.programFile(LauncherMarker)), readFile(source + QLatin1Char('/') + LauncherMarker));
        QVERIFY(readFile(flow.programFile(QStringLiteral("quenmar-launcher"))) ==
                readFile(source + QStringLiteral("/quenmar-launcher")));
        QVERIFY(QFileInfo(flow.programFile(QStringLiteral("quenmar-launcher"))).isExecutable());
        QCOMPARE(readFile(flow.programFile(QStringLiteral("package.json"))),
                 flow.publisher.packageDocument(LauncherPackage));
    }

private slots:
    void firstLaunchInstallsAutomaticPackagesAndStartsTheDefault()
    {
        TFlow flow;
        QVERIFY(flow.prepare());
        QVERIFY2(flow.publishClients(1), qPrintable(flow.publisher.errorText()));

        const auto result = flow.sandbox.run({QStringLiteral("--first-launch")}, RunTimeoutMs);
        QVERIFY2(result.finished, flow.sandbox.readLog().constData());
        QCOMPARE(result.exitCode, 0);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(flow.reportPath), WaitTimeoutMs);

        QCOMPARE(flow.reportValue(QStringLiteral("client")), Online);
        QStringList expected = TFlowPublisher::ClientParameters;
        expected << QString::fromLatin1(UpToDate);
        QCOMPARE(flow.reportedArguments(), expected);
        const QString clientFolder = flow.installed(Online, QStringLiteral("bin"));
        QCOMPARE(canonical(flow.reportValue(QStringLiteral("cwd"))), canonical(clientFolder));
        QCOMPARE(canonical(flow.reportValue(QStringLiteral("ld_library_path"))), canonical(clientFolder));

        for (int i = 0; i < 2; ++i) {
            const QString package = i == 0 ? Online : Realm;
            const QString difference = differenceToSource(flow.sources[i], flow.installed(package));
            QVERIFY2(difference.isEmpty(), qPrintable(difference));
            QCOMPARE(readFile(flow.installed(package, QStringLiteral("package.json"))),
                     flow.publisher.packageDocument(package));
            QVERIFY(!QFileInfo::exists(flow.installed(package, QStringLiteral("partial-package.json"))));
        }
        QVERIFY(QFileInfo::exists(flow.installed(Online, QStringLiteral("default"))));
        QVERIFY(!QFileInfo::exists(flow.installed(Realm, QStringLiteral("default"))));
        QVERIFY(!QFileInfo::exists(flow.installed(Editor, QStringLiteral("package.json"))));
        QVERIFY(flow.sandbox.readLog().contains(WindowShown.toUtf8()));
    }

    void firstLaunchFunnelEventsArriveCompleteAfterTheClientStarted()
    {
        TFlow flow;
        QVERIFY(flow.prepare());
        QVERIFY2(flow.publishClients(1), qPrintable(flow.publisher.errorText()));
        // Late answers: the last events are still on their way when the client has been started.
        flow.server.setResponse(QStringLiteral("/funnel"),
                                TTestHttpResponse().body("{}", "application/json").delay(1000));
        const QString funnelUrl = flow.server.url(QStringLiteral("/funnel")).toString();
        QVERIFY(flow.publisher.editMainConfiguration(
            [&funnelUrl](QJsonObject& Document) { Document.insert(QStringLiteral("funnel"), funnelUrl); }));

        const auto result = flow.sandbox.run({QStringLiteral("--first-launch")}, RunTimeoutMs);
        QVERIFY2(result.finished && result.exitCode == 0, flow.sandbox.readLog().constData());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(flow.reportPath), WaitTimeoutMs);

        // Started once, then downloaded and verified for each of the two automatic packages.
        QStringList steps;
        for (const auto& request : flow.server.requests(QStringLiteral("/funnel"))) {
            const QJsonObject body = QJsonDocument::fromJson(request.body).object();
            QVERIFY2(body.keys() == (QStringList{"accountgroupkey", "first", "id", "step"}), request.body.constData());
            steps << body.value(QStringLiteral("step")).toString();
        }
        QCOMPARE(steps.count(QStringLiteral("launcher_started")), 1);
        QCOMPARE(steps.count(QStringLiteral("launcher_downloaded")), 2);
        QCOMPARE(steps.count(QStringLiteral("launcher_verified")), 2);
        const QByteArray log = flow.sandbox.readLog();
        QCOMPARE(log.count("Funnel response received"), 5);
        QVERIFY2(log.indexOf("startPackageAndExit") < log.lastIndexOf("Funnel response received"), log.constData());
    }

    void manySmallFilesAreFetchedOnceAndLaterStartsFetchNothing()
    {
        TFlow flow;
        QVERIFY(flow.prepare());
        // Small files one object each, and a data file large enough for several chunks.
        const QString source = flow.publisher.writeManyFilesSource(Online, 3000, 20 * 1024);
        QVERIFY2(!source.isEmpty() && flow.publisher.publishClient(
                                          source, Online, QStringLiteral("Quenmar Online"), true, QStringLiteral("1.1"),
                                          {QStringLiteral("--algorithm"), QStringLiteral("deflate"),
                                           QStringLiteral("--level"), QStringLiteral("1")}),
                 qPrintable(flow.publisher.errorText()));
        const QStringList objects = flow.publisher.objectPaths(Online);
        const QJsonObject document = QJsonDocument::fromJson(flow.publisher.packageDocument(Online)).object();
        QVERIFY(document.value(QStringLiteral("chunks")).toArray().size() >= 2);
        const QStringList markers{QStringLiteral("package.json"), QStringLiteral("default")};

        const auto first = flow.sandbox.run({QStringLiteral("--first-launch")}, RunTimeoutMs);
        QVERIFY2(first.finished && first.exitCode == 0, flow.sandbox.readLog().right(4096).constData());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(flow.reportPath), WaitTimeoutMs);
        QString difference = treeDifference(source, flow.installed(Online), markers);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
        difference = objectRequestDifference(flow.server, Online, objects, 1);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));

        // Started again with nothing changed: --first-launch updates the package anyway, which compares
        // every installed file with the document and finds nothing to fetch.
        QVERIFY(QFile::remove(flow.reportPath));
        flow.server.clearLog();
        const auto second = flow.sandbox.run({QStringLiteral("--first-launch")}, RunTimeoutMs);
        QVERIFY2(second.finished && second.exitCode == 0, flow.sandbox.readLog().right(4096).constData());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(flow.reportPath), WaitTimeoutMs);
        QVERIFY(flow.sandbox.readLog().contains("markPackageAsFullyInstalled:  \"Quenmar Online\""));
        difference = objectRequestDifference(flow.server, Online, objects, 0);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
        difference = treeDifference(source, flow.installed(Online), markers);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }

    void documentsBehindRedirectsResolveAgainstWhereTheyWereServed_data()
    {
        QTest::addColumn<bool>("otherPort");
        QTest::newRow("other folder") << false;
        QTest::newRow("other port") << true;
    }

    // The main configuration and a package document each reached through a redirect: their
    // relative URLs name places below the folder that served them, not below the one asked for.
    void documentsBehindRedirectsResolveAgainstWhereTheyWereServed()
    {
        QFETCH(bool, otherPort);
        TFlow flow;
        QVERIFY(flow.prepare());
        QVERIFY2(flow.publishClients(1), qPrintable(flow.publisher.errorText()));
        TTestHttpServer other;
        other.setDocumentRoot(flow.publisher.wwwDirectory());
        TTestHttpServer& origin = otherPort ? other : flow.server;

        const QString movedConfiguration = QStringLiteral("/moved/brlmetadata.json");
        flow.server.setResponse(
            movedConfiguration,
            TTestHttpResponse().redirect(301, origin.url(TFlowPublisher::MainConfigurationTarget).toEncoded()));
        QVERIFY(flow.sandbox.writeSettings(TFlowPublisher::launcherSettings(flow.server.url(movedConfiguration))));
        const QString latestDocument = QStringLiteral("latest/") + Online + QStringLiteral("/package.json");
        origin.setResponse(
            QStringLiteral("/launcher/") + latestDocument,
            TTestHttpResponse().redirect(
                307, origin.url(QStringLiteral("/launcher/") + Online + QStringLiteral("/package.json")).toEncoded()));
        QVERIFY(flow.publisher.editMainConfiguration([&latestDocument](QJsonObject& Document) {
            QJsonArray packages = Document.value(QStringLiteral("packages")).toArray();
            for (int i = 0; i < packages.size(); ++i) {
                QJsonObject package = packages.at(i).toObject();
                if (package.value(QStringLiteral("directoryname")).toString() != Online)
                    continue;
                QJsonArray builds = package.value(QStringLiteral("builds")).toArray();
                QJsonObject build = builds.at(0).toObject();
                build.insert(QStringLiteral("url"), latestDocument);
                builds.replace(0, build);
                package.insert(QStringLiteral("builds"), builds);
                packages.replace(i, package);
            }
            Document.insert(QStringLiteral("packages"), packages);
        }));

        const auto result = flow.sandbox.run({QStringLiteral("--first-launch")}, RunTimeoutMs);
        QVERIFY2(result.finished && result.exitCode == 0, flow.sandbox.readLog().constData());
        for (int i = 0; i < 2; ++i) {
            const QString difference = differenceToSource(flow.sources[i], flow.installed(i == 0 ? Online : Realm));
            QVERIFY2(difference.isEmpty(), qPrintable(difference));
        }
        const QString objectCheck = objectRequestDifference(origin, Online, flow.publisher.objectPaths(Online), 1);
        QVERIFY2(objectCheck.isEmpty(), qPrintable(objectCheck));
    }

    void updateRebuildsChangedChunksFromDeltas_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::newRow("delta served") << QString();
        QTest::newRow("delta missing") << QStringLiteral("missing");
        QTest::newRow("delta corrupt") << QStringLiteral("corrupt");
        QTest::newRow("local base changed") << QStringLiteral("base");
    }

    // A file of several chunks gets a small edit: the launcher fetches the delta of the changed
    // chunk and rebuilds it from the chunks it has; any failure costs the whole chunk instead.
    void updateRebuildsChangedChunksFromDeltas()
    {
        QFETCH(QString, fault);
        TFlow flow;
        QVERIFY(flow.prepare());
        const QString big = QStringLiteral("/data/big.pak");
        QByteArray data = pseudoRandom(14 * 1024 * 1024, 17);
        QString source = flow.publisher.writeClientSource(Online, 1, 64);
        writeFile(source + big, data);
        QVERIFY2(
            flow.publisher.publishClient(source, Online, QStringLiteral("Quenmar Online"), true, QStringLiteral("1.1")),
            qPrintable(flow.publisher.errorText()));
        const auto installed = flow.sandbox.run({QStringLiteral("--first-launch")}, RunTimeoutMs);
        QVERIFY2(installed.finished && installed.exitCode == 0, installed.standardError.constData());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(flow.reportPath), WaitTimeoutMs);

        data.replace(9 * 1024 * 1024, 4096, pseudoRandom(4096, 18));
        source = flow.publisher.writeClientSource(Online, 2, 64);
        writeFile(source + big, data);
        QVERIFY2(
            flow.publisher.publishClient(source, Online, QStringLiteral("Quenmar Online"), true, QStringLiteral("1.2")),
            qPrintable(flow.publisher.errorText()));
        QStringList deltas;
        QStringList chunksWithDeltas;
        const QString folder = QStringLiteral("/launcher/%1/").arg(Online);
        const QJsonObject document = QJsonDocument::fromJson(flow.publisher.packageDocument(Online)).object();
        for (const QJsonValue& chunk : document.value(QStringLiteral("chunks")).toArray()) {
            for (const QJsonValue& delta : chunk.toObject().value(QStringLiteral("deltas")).toArray()) {
                deltas << folder + delta.toObject().value(QStringLiteral("url")).toString();
                chunksWithDeltas << folder + chunk.toObject().value(QStringLiteral("url")).toString();
            }
        }
        QVERIFY(!deltas.isEmpty());
        for (const QString& delta : deltas) {
            if (fault == QLatin1String("missing"))
                flow.server.setResponse(delta, TTestHttpResponse().status(404));
            else if (fault == QLatin1String("corrupt"))
                flow.server.setContent(delta, QByteArray(64, 'x'));
        }
        if (fault == QLatin1String("base"))
            writeFile(flow.installed(Online, big.mid(1)),
                      QByteArray(data).replace(8 * 1024 * 1024, 16, "changed locally!"));
        flow.server.clearLog();
        QVERIFY(QFile::remove(flow.reportPath));

        const auto patched = flow.sandbox.run(
            {QStringLiteral("--patch"), flow.installed(Online, QStringLiteral("bin/client"))}, RunTimeoutMs);
        QVERIFY2(patched.finished && patched.exitCode == 0, flow.sandbox.readLog().constData());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(flow.reportPath), WaitTimeoutMs);
        const QString difference = differenceToSource(source, flow.installed(Online));
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
        QHash<QString, int> requested;
        for (const auto& request : flow.server.requests())
            ++requested[QString::fromUtf8(request.path())];
        const bool deltaTried = fault != QLatin1String("base");
        for (int index = 0; index < deltas.size(); ++index) {
            QCOMPARE(requested.value(deltas[index]), deltaTried ? 1 : 0);
            QCOMPARE(requested.value(chunksWithDeltas[index]), fault.isEmpty() ? 0 : 1);
        }
        const QByteArray log = flow.sandbox.readLog();
        QCOMPARE(log.count("- downloading the whole chunk"), deltaTried && !fault.isEmpty() ? deltas.size() : 0);
    }

    void clientFolderWithColonIsRefused()
    {
        TFlow flow;
        QVERIFY(flow.prepare());
        flow.sources[0] = flow.publisher.writeClientSource(Online, 1, 64);
        QVERIFY2(flow.publisher.publishClient(flow.sources[0], Online, QStringLiteral("Quenmar Online"), true,
                                              QStringLiteral("1.1")),
                 qPrintable(flow.publisher.errorText()));
        // A ':' in the folder would split LD_LIBRARY_PATH into two entries.
        QVERIFY(flow.publisher.editMainConfiguration([](QJsonObject& Document) {
            QJsonArray packages = Document.value(QStringLiteral("packages")).toArray();
            QJsonObject package = packages.at(0).toObject();
            package.insert(QStringLiteral("directoryname"), QStringLiteral("Quenmar:Online"));
            packages.replace(0, package);
            Document.insert(QStringLiteral("packages"), packages);
        }));

        const auto result = flow.sandbox.run({QStringLiteral("--first-launch")}, RunTimeoutMs);
        QVERIFY(result.finished);
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.standardError.contains(
                     "Message box: Quenmar Online cannot start: The client folder\n" +
                     flow.installed(QStringLiteral("Quenmar:Online"), QStringLiteral("bin")).toUtf8() +
                     "\ncontains ':'"),
                 result.standardError.constData());
        QVERIFY(QFileInfo::exists(flow.installed(QStringLiteral("Quenmar:Online"), QStringLiteral("package.json"))));
        QVERIFY(!QFileInfo::exists(flow.reportPath));
    }

    void mirrorServesWhatTheBuildsOwnLocationCannot()
    {
        TFlow flow;
        TTestHttpServer mirror;
        QVERIFY(flow.prepare() && mirror.isListening());
        mirror.setDocumentRoot(flow.publisher.wwwDirectory());
        const QString folder = QStringLiteral("/launcher/%1/").arg(Online);
        flow.sources[0] = flow.publisher.writeClientSource(Online, 1, 2048);
        QVERIFY2(flow.publisher.publishClient(flow.sources[0], Online, QStringLiteral("Quenmar Online"), true,
                                              QStringLiteral("1.1"),
                                              {QStringLiteral("--mirror"), mirror.url(folder).toString()}),
                 qPrintable(flow.publisher.errorText()));
        // The build's own location serves the main configuration, but neither the package
        // document nor any object.
        const QStringList objects = flow.publisher.objectPaths(Online);
        QVERIFY(objects.size() >= 3);
        for (const QString& path : objects + QStringList{folder + QStringLiteral("package.json")})
            flow.server.setResponse(path, TTestHttpResponse().status(500).body("down"));

        const auto result = flow.sandbox.run({QStringLiteral("--first-launch")}, RunTimeoutMs);
        QVERIFY2(result.finished && result.exitCode == 0, flow.sandbox.readLog().constData());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(flow.reportPath), WaitTimeoutMs);
        const QString difference = differenceToSource(flow.sources[0], flow.installed(Online));
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
        QCOMPARE(readFile(flow.installed(Online, QStringLiteral("package.json"))),
                 flow.publisher.packageDocument(Online));
        const QByteArray log = flow.sandbox.readLog();
        const QByteArray givenUp = "Download location " + flow.server.url(folder).toEncoded() + " given up";
        QVERIFY2(log.count(givenUp) == 1, log.constData());
        QVERIFY(mirror.requestCount(folder + QStringLiteral("package.json")) >= 1);
    }

    void laterStartsFollowTheDefaultPackage()
    {
        TFlow flow;
        installWithFirstLaunch(flow);
        if (QTest::currentTestFailed())
            return;

        // Without options the default client starts at once, without a window.
        const auto direct = flow.sandbox.run({}, RunTimeoutMs);
        QVERIFY2(direct.finished && direct.exitCode == 0, direct.standardError.constData());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(flow.reportPath), WaitTimeoutMs);
        QCOMPARE(flow.reportValue(QStringLiteral("client")), Online);
        // Nothing was verified in this run, so the client is not told that it is up to date.
        QCOMPARE(flow.reportedArguments(), TFlowPublisher::ClientParameters);
        QByteArray log = flow.sandbox.readLog();
        QVERIFY2(log.contains("startPackageAndExit \"Quenmar Online\""), log.constData());
        QVERIFY2(!log.contains(WindowShown.toUtf8()), log.constData());
        QVERIFY(QFile::remove(flow.reportPath));

        // With --show-ui the window opens instead and stays.
        QProcess* withWindow = flow.sandbox.start({QStringLiteral("--show-ui")});
        QVERIFY2(flow.sandbox.waitForLog(WindowShown, WaitTimeoutMs), flow.sandbox.readLog().constData());
        QCOMPARE(withWindow->state(), QProcess::Running);
        log = flow.sandbox.readLog();
        QVERIFY2(!log.contains("startPackageAndExit"), log.constData());
        QVERIFY(!QFileInfo::exists(flow.reportPath));
        QVERIFY(endProcess(withWindow));
    }

    void offlineStartUsesTheSavedConfiguration()
    {
        TFlow flow;
        installWithFirstLaunch(flow);
        if (QTest::currentTestFailed())
            return;
        flow.server.stop();

        // With the server unreachable the saved main configuration and the installed package
        // documents still know the default client.
        const auto result = flow.sandbox.run({}, RunTimeoutMs);
        QVERIFY2(result.finished && result.exitCode == 0, flow.sandbox.readLog().constData());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(flow.reportPath), WaitTimeoutMs);
        QCOMPARE(flow.reportValue(QStringLiteral("client")), Online);
        QCOMPARE(flow.reportedArguments(), TFlowPublisher::ClientParameters);
        const QByteArray log = flow.sandbox.readLog();
        QVERIFY2(log.contains("Download of configuration failed:"), log.constData());
    }

    void forcePatchMarkerUpdatesThatPackage()
    {
        TFlow flow;
        installWithFirstLaunch(flow);
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(flow.republishOnline(2), qPrintable(flow.publisher.errorText()));
        const QString marker = flow.installed(Online, QStringLiteral("FORCE_PATCH"));
        writeFile(marker, QByteArray());

        QProcess* launcher = flow.sandbox.start();
        const QByteArray offered = flow.publisher.packageDocument(Online);
        QTRY_VERIFY_WITH_TIMEOUT(readFile(flow.installed(Online, QStringLiteral("package.json"))) == offered,
                                 WaitTimeoutMs);
        QVERIFY(!QFileInfo::exists(marker));
        const QString difference = differenceToSource(flow.sources[0], flow.installed(Online));
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
        const QByteArray log = flow.sandbox.readLog();
        QVERIFY2(log.contains(WindowShown.toUtf8()), log.constData());
        QVERIFY2(log.contains("installOrUpdatePackage:  \"Quenmar Online\""), log.constData());
        QVERIFY2(!log.contains("installOrUpdatePackage:  \"Quenmar Test Realm\""), log.constData());
        // A forced update only updates: the window stays and no client starts.
        QCOMPARE(launcher->state(), QProcess::Running);
        QVERIFY(!QFileInfo::exists(flow.reportPath));
        QVERIFY(endProcess(launcher));
    }

    void patchOptionUpdatesAndStartsTheNamedClient()
    {
        TFlow flow;
        installWithFirstLaunch(flow);
        if (QTest::currentTestFailed())
            return;

        // An executable that belongs to no package: the window and the failure box.
        QProcess* unknown =
            flow.sandbox.start({QStringLiteral("--patch"), QStringLiteral("/opt/elsewhere/bin/client")});
        QByteArray errors;
        const QByteArray box =
            "Message box: Client patching failed: Could not determine patch information. Your client "
            "might no longer be supported.";
        QVERIFY2(waitForStandardError(*unknown, box, errors), errors.constData());
        QVERIFY(flow.sandbox.waitForLog(QStringLiteral("Message box:"), WaitTimeoutMs));
        const QByteArray log = flow.sandbox.readLog();
        QVERIFY2(log.indexOf(WindowShown.toUtf8()) >= 0 &&
                     log.indexOf(WindowShown.toUtf8()) < log.indexOf("Message box:"),
                 log.constData());
        QCOMPARE(unknown->state(), QProcess::Running);
        QVERIFY(endProcess(unknown));

        // The installed client's path, spelt untidily: that package is updated and started.
        QVERIFY2(flow.republishOnline(2), qPrintable(flow.publisher.errorText()));
        const QString path = flow.installed(Online, QStringLiteral("./bin//client"));
        const auto patched = flow.sandbox.run({QStringLiteral("--patch"), path}, RunTimeoutMs);
        QVERIFY2(patched.finished && patched.exitCode == 0, flow.sandbox.readLog().constData());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(flow.reportPath), WaitTimeoutMs);
        QCOMPARE(flow.reportValue(QStringLiteral("generation")), QStringLiteral("2"));
        QVERIFY(flow.reportedArguments().contains(QString::fromLatin1(UpToDate)));
        const QString difference = differenceToSource(flow.sources[0], flow.installed(Online));
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
    }

    void preventDefaultAutostartKeepsTheWindowAfterFirstLaunch()
    {
        TFlow flow;
        QVERIFY(flow.prepare());
        QVERIFY2(flow.publishClients(1), qPrintable(flow.publisher.errorText()));
        QVERIFY(flow.publisher.editMainConfiguration(
            [](QJsonObject& Document) { Document.insert(QStringLiteral("preventdefaultautostart"), true); }));

        QProcess* launcher = flow.sandbox.start({QStringLiteral("--first-launch")});
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(flow.installed(Online, QStringLiteral("package.json"))) &&
                                     QFileInfo::exists(flow.installed(Realm, QStringLiteral("package.json"))),
                                 WaitTimeoutMs);
        QVERIFY(QFileInfo::exists(flow.installed(Online, QStringLiteral("default"))));
        // A client start would follow the last installation at once. Nothing marks its absence, so
        // give it ample room to show; any sign of a start ends the wait early.
        const bool quiet = testsupport::holdsFor(
            [&] {
                return launcher->state() == QProcess::Running && !QFileInfo::exists(flow.reportPath) &&
                       !flow.sandbox.readLog().contains("startPackageAndExit");
            },
            1500);
        QCOMPARE(launcher->state(), QProcess::Running);
        QVERIFY(!QFileInfo::exists(flow.reportPath));
        QVERIFY(!flow.sandbox.readLog().contains("startPackageAndExit"));
        QVERIFY(quiet);
        QVERIFY(endProcess(launcher));
    }

    void clientThatCannotStartEndsWithCodeOne()
    {
        TFlow flow;
        QVERIFY(flow.prepare());
        flow.sources[0] = flow.publisher.writeClientSource(Online, 1, 64);
        // Published without executable flags, the installed client can't be run.
        QVERIFY2(flow.publisher.publishClient(flow.sources[0], Online, QStringLiteral("Quenmar Online"), true,
                                              QStringLiteral("1.1"), {QStringLiteral("--no-executable-bits")}),
                 qPrintable(flow.publisher.errorText()));

        const auto result = flow.sandbox.run({QStringLiteral("--first-launch")}, RunTimeoutMs);
        QVERIFY(result.finished);
        QCOMPARE(result.exitCode, 1);
        QVERIFY(QFileInfo::exists(flow.installed(Online, QStringLiteral("package.json"))));
        QVERIFY(!QFileInfo(flow.installed(Online, QStringLiteral("bin/client"))).isExecutable());
        QVERIFY(flow.sandbox.readLog().contains("startPackageAndExit"));
        QVERIFY2(!result.standardError.contains("Message box:"), result.standardError.constData());
        QVERIFY(!QFileInfo::exists(flow.reportPath));
    }

    void unusablePackagesFolderIsACriticalError()
    {
        TFlow flow;
        QVERIFY(flow.prepare());
        QVERIFY2(flow.publishClients(1), qPrintable(flow.publisher.errorText()));
        // A file lies where the packages folder belongs.
        writeFile(flow.sandbox.packagesDirectory(), "in the way");

        const auto result = flow.sandbox.run({QStringLiteral("--first-launch")}, RunTimeoutMs);
        QVERIFY(result.finished);
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.standardError.contains("Message box: Quenmar Online cannot start: A critical error occurred "
                                               "while accessing a file:\n") &&
                     result.standardError.contains("Failed to create folder: '" +
                                                   flow.sandbox.packagesDirectory().toUtf8() +
                                                   "'.\nPlease reinstall Launcher."),
                 result.standardError.constData());
        QVERIFY(!QFileInfo::exists(flow.reportPath));
    }

    void compressedPackageDocumentIsDecodedWithinTheCap_data()
    {
        QTest::addColumn<bool>("bomb");
        QTest::newRow("gzip document") << false;
        QTest::newRow("gzip bomb") << true;
    }

    // A package document served gzip-compressed installs as an uncompressed one does; one that
    // decodes to a GiB fails as any unusable document does, without taking the memory.
    void compressedPackageDocumentIsDecodedWithinTheCap()
    {
        QFETCH(bool, bomb);
        TFlow flow;
        QVERIFY(flow.prepare());
        flow.sources[0] = flow.publisher.writeClientSource(Online, 1, 2048);
        QVERIFY2(flow.publisher.publishClient(flow.sources[0], Online, QStringLiteral("Quenmar Online"), true,
                                              QStringLiteral("1.1")),
                 qPrintable(flow.publisher.errorText()));
        const QByteArray document = flow.publisher.packageDocument(Online);
        const QByteArray body = bomb ? TTestHttpResponse::deflated(QByteArray(1 << 20, '\0'), 15 + 16, 1024)
                                     : TTestHttpResponse::deflated(document, 15 + 16);
        flow.server.setResponse(QStringLiteral("/launcher/") + Online + QStringLiteral("/package.json"),
                                TTestHttpResponse().body(body, "application/json").header("Content-Encoding", "gzip"));

        if (!bomb) {
            const auto result = flow.sandbox.run({QStringLiteral("--first-launch")}, RunTimeoutMs);
            QVERIFY2(result.finished && result.exitCode == 0, flow.sandbox.readLog().right(4096).constData());
            const QString difference = differenceToSource(flow.sources[0], flow.installed(Online));
            QVERIFY2(difference.isEmpty(), qPrintable(difference));
            QCOMPARE(readFile(flow.installed(Online, QStringLiteral("package.json"))), document);
            return;
        }
        QProcess* launcher = flow.sandbox.start({QStringLiteral("--first-launch")});
        QByteArray errors;
        QVERIFY2(waitForStandardError(
                     *launcher, "Message box: Connection problem: Could not connect to the update service.", errors),
                 errors.constData());
        // A launcher with its window resides in about 40 MiB. Decoded by Qt, the body reached the
        // guard in pieces of 64 MiB and more; the launcher's own decoding holds about one portion.
#ifndef __SANITIZE_ADDRESS__
        const qint64 peak = testsupport::processMemoryBytes("VmHWM", launcher->processId());
        QVERIFY2(peak > 0 && peak < 80 * 1024 * 1024, qPrintable(QString::number(peak)));
#endif
        QVERIFY(flow.sandbox.readLog().contains("Download of package configuration/asset from configuration"));
        QVERIFY(!QFileInfo::exists(flow.installed(Online, QStringLiteral("package.json"))));
        QVERIFY(endProcess(launcher));
    }

    void missingMainConfigurationReportsMaintenance()
    {
        TFlow flow;
        QVERIFY(flow.prepare());
        QVERIFY2(flow.publishClients(1), qPrintable(flow.publisher.errorText()));
        flow.server.setResponse(TFlowPublisher::MainConfigurationTarget,
                                TTestHttpResponse().status(404).body("not found", "text/plain"));

        const auto result = flow.sandbox.run({QStringLiteral("--first-launch")}, RunTimeoutMs);
        QVERIFY(result.finished);
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.standardError.contains("Message box: Quenmar Online cannot be started: Quenmar Online is "
                                               "currently down for maintenance. Please try again later."),
                 result.standardError.constData());
        QVERIFY(!QFileInfo::exists(flow.installed(Online)));
        QVERIFY(!QFileInfo::exists(flow.reportPath));
    }

    void packageLargerThanTheDiskDownloadsNothing()
    {
        if (::geteuid() != 0)
            QSKIP("mounting a small tmpfs for the packages folder needs root");
        TFlow flow;
        QVERIFY(flow.prepare());
        flow.sources[0] = flow.publisher.writeClientSource(Online, 1, 12 * 1024);
        QVERIFY2(flow.publisher.publishClient(flow.sources[0], Online, QStringLiteral("Quenmar Online"), true,
                                              QStringLiteral("1.1")),
                 qPrintable(flow.publisher.errorText()));
        const TSmallDisk disk(flow.sandbox.packagesDirectory(), 8);
        QVERIFY2(disk.isMounted(), "tmpfs could not be mounted");

        QProcess* launcher = flow.sandbox.start({QStringLiteral("--first-launch")});
        QByteArray errors;
        const QByteArray box = "Message box: Installation failed: The installation of Quenmar Online failed.\n\n"
                               "There is not enough free disk space in\n" +
                               flow.installed(Online).toUtf8() + "\n\nNeeded: ";
        QVERIFY2(waitForStandardError(*launcher, box, errors), errors.constData());
        QVERIFY2(errors.contains(" MB\nFree: ") && errors.count("Message box:") == 1 && !errors.contains("maintenance"),
                 errors.constData());
        const QByteArray log = flow.sandbox.readLog();
        QCOMPARE(log.count("not enough disk space for Quenmar Online in " + flow.installed(Online).toUtf8()), 1);
        const QString difference = objectRequestDifference(flow.server, Online, flow.publisher.objectPaths(Online), 0);
        QVERIFY2(difference.isEmpty(), qPrintable(difference));
        QVERIFY(!QFileInfo::exists(flow.installed(Online, QStringLiteral("package.json"))));
        QVERIFY(QFileInfo::exists(flow.installed(Online, QStringLiteral("partial-package.json"))));
        QCOMPARE(launcher->state(), QProcess::Running);
        QVERIFY(endProcess(launcher));
    }

    void selfUpdateInstallsIntoTheProgramFolderAndRestarts()
    {
        TFlow flow;
        QVERIFY(flow.prepare());
        QVERIFY2(flow.publishClients(1), qPrintable(flow.publisher.errorText()));
        // The launcher binary itself is unchanged: only the marker file is new.
        QVERIFY2(flow.publishLauncher(QStringLiteral("16M")), qPrintable(flow.publisher.errorText()));
        writeFile(flow.programFile(LauncherBackup), "from an older launcher");

        const QStringList arguments{QStringLiteral("--show-ui")};
        const auto first = flow.sandbox.run(arguments, RunTimeoutMs);
        QVERIFY2(first.finished && first.exitCode == 0, first.standardError.constData());
        checkSelfUpdateRestart(flow, arguments);
        if (QTest::currentTestFailed())
            return;
        checkLauncherInstalled(flow);
        QVERIFY(!QFileInfo::exists(flow.programFile(LauncherBackup)));
        QVERIFY2(flow.sandbox.waitForLog(WindowShown, WaitTimeoutMs), flow.sandbox.readLog().constData());
        flow.processes.killAll();
    }

    void launcherWithoutUpdateOnlyCleansUp_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QStringList>("arguments");
        QTest::newRow("offered version is the running one")
            << QStringLiteral(QUENMAR_VERSION) << QStringList{QStringLiteral("--first-launch")};
        QTest::newRow("update skipped by option")
            << OfferedLauncherVersion
            << QStringList{QStringLiteral("--first-launch"), QStringLiteral("--skip-selfupdate")};
    }

    void launcherWithoutUpdateOnlyCleansUp()
    {
        QFETCH(QString, version);
        QFETCH(QStringList, arguments);
        TFlow flow;
        QVERIFY(flow.prepare());
        QVERIFY2(flow.publishClients(1), qPrintable(flow.publisher.errorText()));
        QVERIFY2(flow.publishLauncher(QStringLiteral("16M"), version), qPrintable(flow.publisher.errorText()));
        writeFile(flow.programFile(LauncherBackup), "from an older launcher");
        writeFile(flow.programFile(QStringLiteral("notes.old.txt")), "not a backup");
        // A user's own file that merely ends like a backup.
        writeFile(flow.programFile(QStringLiteral("notes.old")), "not a backup");

        const auto result = flow.sandbox.run(arguments, RunTimeoutMs);
        QVERIFY2(result.finished && result.exitCode == 0, result.standardError.constData());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(flow.reportPath), WaitTimeoutMs);
        const QByteArray log = flow.sandbox.readLog();
        QVERIFY2(log.contains("cleanupOldLauncherVersion") && !log.contains("startSelfUpdate"), log.constData());
        QVERIFY(!QFileInfo::exists(flow.programFile(LauncherBackup)));
        QVERIFY(QFileInfo::exists(flow.programFile(QStringLiteral("notes.old.txt"))));
        QVERIFY(QFileInfo::exists(flow.programFile(QStringLiteral("notes.old"))));
        QVERIFY(!QFileInfo::exists(flow.programFile(LauncherMarker)));
        QVERIFY(flow.processes.running().isEmpty());
    }

    void unwritableProgramFolderSkipsTheSelfUpdate()
    {
        TFlow flow;
        QVERIFY(flow.prepare());
        QVERIFY2(flow.publishClients(1), qPrintable(flow.publisher.errorText()));
        QVERIFY2(flow.publishLauncher(QStringLiteral("16M")), qPrintable(flow.publisher.errorText()));
        writeFile(flow.programFile(LauncherBackup), "left by the package manager");
        const TUnwritableFolder unwritable(flow.sandbox.programDirectory());
        if (!unwritable.holds())
            QSKIP("the program folder stays writable for this user (root without chattr)");

        const auto result = flow.sandbox.run({QStringLiteral("--first-launch")}, RunTimeoutMs);
        QVERIFY2(result.finished && result.exitCode == 0, result.standardError.constData());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(flow.reportPath), WaitTimeoutMs);
        const QByteArray log = flow.sandbox.readLog();
        const QByteArray skipped = "Self-update skipped: the program folder is not writable: " +
                                   QDir::toNativeSeparators(canonical(flow.sandbox.programDirectory())).toUtf8() + '\n';
        QVERIFY2(log.count(skipped) == 1, log.constData());
        for (const char* absent : {"startSelfUpdate", "cleanupOldLauncherVersion", "Updating Quenmar Online failed"})
            QVERIFY2(!log.contains(absent), log.constData());
        const QString noObjects = objectRequestDifference(flow.server, LauncherPackage, {}, 0);
        QVERIFY2(noObjects.isEmpty(), qPrintable(noObjects));
        QVERIFY(QFileInfo::exists(flow.programFile(LauncherBackup)));
        QCOMPARE(flow.reportValue(QStringLiteral("client")), Online);
    }

    void selfUpdateReplacesTheRunningExecutable_data()
    {
        QTest::addColumn<QString>("chunkThreshold");
        // One object: the changed executable is replaced whole.
        QTest::newRow("whole file") << QStringLiteral("64M");
        // Content-defined chunks: all but the last are kept, so the update writes into a fresh copy
        // of the running file (the running one can't be opened for writing).
        QTest::newRow("changed chunks only") << QStringLiteral("1M");
    }

    void selfUpdateReplacesTheRunningExecutable()
    {
        QFETCH(QString, chunkThreshold);
        TFlow flow;
        QVERIFY(flow.prepare());
        QVERIFY2(flow.publishClients(1), qPrintable(flow.publisher.errorText()));
        // Bytes after the end of an ELF image change the file but not the program.
        const QByteArray tail = "\nquenmar flow test: the next launcher build\n" + QByteArray(4096, '#');
        QVERIFY2(flow.publishLauncher(chunkThreshold, OfferedLauncherVersion, flow.runningLauncher() + tail),
                 qPrintable(flow.publisher.errorText()));
        const QByteArray original = flow.runningLauncher();

        // The restarted launcher keeps --first-launch, so it installs and starts the client.
        const auto first = flow.sandbox.run({QStringLiteral("--first-launch")}, RunTimeoutMs);
        QVERIFY2(first.finished, first.standardError.constData());
        const QByteArray log = flow.sandbox.readLog();
        const bool failed = log.contains("Updating Quenmar Online failed");
        // Whatever went wrong, the launcher that stays must still be whole.
        if (failed)
            QVERIFY(readFile(flow.sandbox.launcherPath()) == original);
        QVERIFY2(!failed, log.constData());
        QCOMPARE(first.exitCode, 0);
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(flow.reportPath), WaitTimeoutMs);
        QCOMPARE(flow.reportValue(QStringLiteral("client")), Online);
        checkLauncherInstalled(flow);
        QVERIFY(readFile(flow.sandbox.launcherPath()) != original);
        const QByteArray restartedLog = flow.sandbox.readLog();
        QVERIFY2(!restartedLog.contains("startSelfUpdate"), restartedLog.constData());
    }

    void failedReplacementOfTheRunningExecutableKeepsTheLauncher()
    {
        TFlow flow;
        QVERIFY(flow.prepare());
        QVERIFY2(flow.publishClients(1), qPrintable(flow.publisher.errorText()));
        // A new executable unlike the running one in every chunk; the server has lost its last chunk.
        const QByteArray replacement = pseudoRandom(24 * 1024 * 1024, 7);
        QVERIFY2(flow.publishLauncher(QStringLiteral("1M"), OfferedLauncherVersion, replacement),
                 qPrintable(flow.publisher.errorText()));
        const QJsonArray chunks =
            QJsonDocument::fromJson(flow.publisher.packageDocument(LauncherPackage)).object().value("chunks").toArray();
        QVERIFY(chunks.size() >= 2);
        flow.server.setResponse(
            QStringLiteral("/launcher/%1/%2").arg(LauncherPackage, chunks.last().toObject().value("url").toString()),
            TTestHttpResponse().status(404).body("gone", "text/plain"));
        const QByteArray original = flow.runningLauncher();

        const auto result = flow.sandbox.run({QStringLiteral("--first-launch")}, RunTimeoutMs);
        QVERIFY2(result.finished && result.exitCode == 0, result.standardError.constData());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(flow.reportPath), WaitTimeoutMs);
        const QByteArray log = flow.sandbox.readLog();
        QVERIFY2(log.contains("Updating Quenmar Online failed: Error"), log.constData());
        QVERIFY(flow.processes.running().isEmpty());
        QVERIFY(flow.runningLauncher() == original);
    }

    void killedSelfUpdateLeavesAWholeLauncher_data()
    {
        QTest::addColumn<bool>("everyChunk");
        QTest::newRow("last chunk stalled") << false;
        QTest::newRow("every chunk stalled") << true;
    }

    void killedSelfUpdateLeavesAWholeLauncher()
    {
        QFETCH(bool, everyChunk);
        TFlow flow;
        QVERIFY(flow.prepare());
        QVERIFY2(flow.publishClients(1), qPrintable(flow.publisher.errorText()));
        // A runnable next build: bytes after the end of the ELF image, several new chunks of them.
        const QByteArray original = flow.runningLauncher();
        QVERIFY2(flow.publishLauncher(QStringLiteral("1M"), OfferedLauncherVersion,
                                      original + pseudoRandom(3 * 1024 * 1024, 11)),
                 qPrintable(flow.publisher.errorText()));
        const QJsonArray chunks =
            QJsonDocument::fromJson(flow.publisher.packageDocument(LauncherPackage)).object().value("chunks").toArray();
        QVERIFY(chunks.size() >= 2);
        QStringList stalled;
        for (int index = everyChunk ? 0 : chunks.size() - 1; index < chunks.size(); ++index)
            stalled << QStringLiteral("/launcher/%1/%2")
                           .arg(LauncherPackage, chunks[index].toObject().value("url").toString());
        for (const QString& path : stalled)
            flow.server.setResponse(path, TTestHttpResponse().file(flow.publisher.wwwDirectory() + path).held());

        QProcess* launcher = flow.sandbox.start({QStringLiteral("--first-launch")});
        QTRY_VERIFY_WITH_TIMEOUT(flow.server.heldCount() >= 1, WaitTimeoutMs);
        if (!everyChunk)
            QVERIFY2(flow.sandbox.waitForLog(QStringLiteral("processDownloadedData save completed"), WaitTimeoutMs),
                     flow.sandbox.readLog().constData());
        QVERIFY(endProcess(launcher));
        QVERIFY(flow.runningLauncher() == original);
        QVERIFY(QFileInfo(flow.sandbox.launcherPath()).isExecutable());

        // The launcher left behind starts, and with the chunks back it completes its update.
        flow.server.clearResponses();
        const auto again = flow.sandbox.run({QStringLiteral("--first-launch")}, RunTimeoutMs);
        QVERIFY2(again.finished && again.exitCode == 0, flow.sandbox.readLog().constData());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(flow.reportPath), WaitTimeoutMs);
        checkLauncherInstalled(flow);
        QVERIFY(!QFileInfo::exists(flow.programFile(QStringLiteral("quenmar-launcher.new"))));
    }

    void failedSelfUpdateCarriesOnWithTheInstalledLauncher()
    {
        TFlow flow;
        QVERIFY(flow.prepare());
        QVERIFY2(flow.publishClients(1), qPrintable(flow.publisher.errorText()));
        QVERIFY2(flow.publishLauncher(QStringLiteral("16M")), qPrintable(flow.publisher.errorText()));
        const QStringList objects = flow.publisher.objectPaths(LauncherPackage);
        QVERIFY(!objects.isEmpty());
        for (const QString& object : objects)
            flow.server.setResponse(object, TTestHttpResponse().status(404).body("gone", "text/plain"));
        const QByteArray original = flow.runningLauncher();

        QProcess* launcher = flow.sandbox.start();
        QVERIFY2(flow.sandbox.waitForLog(WindowShown, WaitTimeoutMs), flow.sandbox.readLog().constData());
        const QByteArray log = flow.sandbox.readLog();
        const int failed = log.indexOf("Updating Quenmar Online failed: Error");
        QVERIFY2(log.contains("startSelfUpdate"), log.constData());
        QVERIFY2(failed >= 0 && failed < log.indexOf("onLauncherReadyForAction"), log.constData());
        QCOMPARE(launcher->state(), QProcess::Running);
        QCOMPARE(flow.processes.running(), QList<qint64>{launcher->processId()});
        QVERIFY(readFile(flow.sandbox.launcherPath()) == original);
        QVERIFY(!QFileInfo::exists(flow.programFile(LauncherMarker)));
        QVERIFY(!QFileInfo::exists(flow.programFile(QStringLiteral("package.json"))));
        QVERIFY(endProcess(launcher));
    }
};

QTEST_GUILESS_MAIN(TestLauncherFlow)
#include "tst_launcherflow.moc"
