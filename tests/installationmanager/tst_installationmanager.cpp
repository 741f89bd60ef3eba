// Whole runs of the installation manager: package data built with the project's package builder,
// served by the in-process HTTP server, installed, updated, verified; signals, markers and logs.
#include "support/DownloaderTestData.h"
#include "support/PackageTestData.h"
#include "support/TLogCapture.h"
#include "support/TTemporaryHome.h"

#include "configuration/ELocalPackageStatus.h"
#include "configuration/TLauncherConfigurationReader.h"
#include "configuration/TPackage.h"
#include "configuration/TPackageBuild.h"
#include "configuration/TPackageConfigurationReader.h"
#include "installation/EPackageDownloaderError.h"
#include "installation/TPackageFileDownloader.h"
#include "installation/TPackageInstallation.h"
#include "installation/TReplacementJournal.h"
#include "installationmanager/TInstallationManager.h"
#include "network/TDownloadPool.h"
#include "network/TDownloadRateLimiter.h"
#include "settings/TDownloadPreferences.h"
#include "settings/TLauncherFilesystemHelper.h"
#include "support/TTestHttpServer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <map>
#include <memory>
#include <optional>
#if defined(__GLIBC__)
#include <malloc.h>
#endif
#include <sys/mman.h>
#include <sys/stat.h>

using namespace orvan::launcher;
using downloadertest::TTestSettings;
using testsupport::TLogCapture;
using testsupport::TTestHttpResponse;
using testsupport::TTestHttpServer;

namespace {

const QString Thread = TLogCapture::threadPattern();
constexpr QFileDevice::Permissions ExecuteForAll =
    QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;

QByteArray mainConfiguration(int packageCount)
{
    QJsonArray packages;
    for (int index = 0; index < packageCount; ++index) {
        packages.append(QJsonObject{{QStringLiteral("name"), QStringLiteral("Package %1").arg(index)},
                                    {QStringLiteral("directoryname"), QStringLiteral("pkg%1").arg(index)},
                                    {QStringLiteral("builds"),
                                     QJsonArray{QJsonObject{{QStringLiteral("os"), QStringLiteral("linux")},
                                                            {QStringLiteral("architecture"), QStringLiteral("x86_64")},
                                                            {QStringLiteral("url"), QStringLiteral("p.json")}}}}});
    }
    return QJsonDocument(QJsonObject{{QStringLiteral("packages"), packages}}).toJson();
}

quint64 inodeOf(const QString& path)
{
    struct stat status = {};
    return ::lstat(QFile::encodeName(path).constData(), &status) == 0 ? quint64(status.st_ino) : 0;
}

/// A file mapped the way a running program maps its libraries, with the bytes it had when mapped.
class TMappedFile
{
public:
    explicit TMappedFile(const QString& path) : m_inode(inodeOf(path)), m_expected(packagetest::readFile(path))
    {
        QFile file(path);
        if (file.open(QIODevice::ReadOnly) && !m_expected.isEmpty())
            m_address = ::mmap(nullptr, std::size_t(m_expected.size()), PROT_READ, MAP_SHARED, file.handle(), 0);
    }
    ~TMappedFile()
    {
        if (m_address != MAP_FAILED)
            ::munmap(m_address, std::size_t(m_expected.size()));
    }
    TMappedFile(const TMappedFile&) = delete;
    TMappedFile& operator=(const TMappedFile&) = delete;

    bool isMapped() const { return m_address != MAP_FAILED; }
    /// A write into the file, or a truncation, would show through the mapping.
    bool bytesUnchanged() const
    {
        return isMapped() && QByteArray(static_cast<const char*>(m_address), m_expected.size()) == m_expected;
    }
    quint64 inode() const { return m_inode; }

private:
    quint64 m_inode;
    QByteArray m_expected;
    void* m_address = MAP_FAILED;
};

} // namespace

class TestInstallationManager : public QObject
{
    Q_OBJECT

private:
    // Saved files of the launcher go to a private home, away from parallel runs of this test.
    testsupport::TTemporaryHome m_home;
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<TTestHttpServer> m_server;
    std::unique_ptr<TLogCapture> m_log;
    std::shared_ptr<TLauncherFilesystemHelper> m_helper;
    std::shared_ptr<TLauncherConfigurationReader> m_configuration;
    QStringList m_events;
    /// Whether the package folder's file system ignores case, as the managers made here are told.
    std::optional<bool> m_ignoresCase;

    QString path(const QString& relative) const { return QDir(m_root->path()).filePath(relative); }
    QString source(const QString& version, const QString& localFile) const
    {
        return path(QStringLiteral("src/%1/%2").arg(version, localFile));
    }
    QString installed(int package, const QString& localFile) const
    {
        return m_helper->packagesDirectory().filePath(QStringLiteral("pkg%1/%2").arg(package).arg(localFile));
    }
    std::shared_ptr<TPackage> package(int index) const
    {
        return m_configuration->packages().at(static_cast<std::size_t>(index));
    }
    QByteArray published(const QString& version) const
    {
        return packagetest::readFile(path(QStringLiteral("published/%1/package.json").arg(version)));
    }

    /// A client with an executable, a settings folder and a file of three chunks.
    void writeSource(const QString& version, std::initializer_list<quint64> bigBlocks)
    {
        packagetest::writeFile(source(version, QStringLiteral("bin/client")), "#!/bin/sh\necho " + version.toUtf8());
        QFile::setPermissions(source(version, QStringLiteral("bin/client")),
                              QFile::permissions(source(version, QStringLiteral("bin/client"))) | ExecuteForAll);
        packagetest::writeFile(source(version, QStringLiteral("data/small.txt")), "small file " + version.toUtf8());
        packagetest::writeFile(source(version, QStringLiteral("QuenmarOnlineClient_Data/Data/Settings/client.cfg")),
                               "cfg");
        packagetest::writeFile(source(version, QStringLiteral("data/big.bin")), packagetest::blocks(bigBlocks));
    }

    QByteArray build(const QString& version)
    {
        packagetest::buildPackage(source(version, QString()), path(QStringLiteral("published/") + version), version);
        return published(version);
    }

    void offer(int index, const QByteArray& document, const QString& version)
    {
        const QUrl base = m_server->url(QStringLiteral("/") + version);
        package(index)->currentBuild()->setConfiguration(
            std::make_shared<const TPackageConfigurationReader>(document, QByteArray(), base, base));
    }

    void useSettings(const TTestSettings& settings) { m_helper = downloadertest::makeHelper(m_root->path(), settings); }

    /// Which published document a marker of package 0 holds: "-" when absent, else the version.
    QString markerTag(const QString& name) const
    {
        const QByteArray content = marker(0, name);
        if (content == "<missing>")
            return QStringLiteral("-");
        for (const QString& version : {QStringLiteral("v1"), QStringLiteral("v2")}) {
            if (content == published(version))
                return version;
        }
        return QStringLiteral("?");
    }

    /// Records Event with the marker files of package 0 as they are at that moment.
    void record(const QString& event)
    {
        m_events << QStringLiteral("%1 [full %2, partial %3]")
                        .arg(event, markerTag(QStringLiteral("package.json")),
                             markerTag(QStringLiteral("partial-package.json")));
    }

    /// A manager whose signals (and the packages' status changes) are recorded in m_events.
    std::unique_ptr<TInstallationManager> makeManager()
    {
        auto manager = std::make_unique<TInstallationManager>(m_configuration, m_helper);
        TInstallationManager* raw = manager.get();
        if (m_ignoresCase)
            raw->caseCollisions().setCaseProbe([ignores = *m_ignoresCase](const QString&) { return ignores; });
        connect(raw, &TInstallationManager::installationOrUpdateStarted, this,
                [this](const TPackageInstallation& installation) {
                    record(QStringLiteral("started %1 mode %2")
                               .arg(installation.package()->name())
                               .arg(static_cast<int>(installation.selfUpdateMode())));
                });
        connect(raw, &TInstallationManager::installationOrUpdateFinished, this,
                [this](const TPackageInstallation& installation) {
                    record(QStringLiteral("finished %1 reason %2")
                               .arg(installation.package()->name())
                               .arg(static_cast<int>(installation.errorReason())));
                });
        connect(raw, &TInstallationManager::allStartedUpdatesFinished, this,
                [this] { record(QStringLiteral("allStartedUpdatesFinished")); });
        connect(raw, &TInstallationManager::diskAccessFailed, this,
                [this](const QString& message) { record(QStringLiteral("diskAccessFailed ") + message); });
        connect(
            raw, &TInstallationManager::funnelEventRequested, this,
            [this](const QString& step, const QString& key) { record(QStringLiteral("funnel %1 %2").arg(step, key)); });
        for (const auto& offered : m_configuration->packages()) {
            TPackage* observed = offered.get();
            // In the manager's context, so that the recording ends with the manager.
            connect(observed, &TPackage::localPackageStatusChanged, raw, [this, observed] {
                record(QStringLiteral("status %1 %2").arg(observed->name()).arg(int(observed->localPackageStatus())));
            });
        }
        return manager;
    }

    /// Installs package 0 to Version and waits for the end of the run; freeSpace replaces the free
    /// space of the disk when given.
    bool install(const QString& version, const QByteArray& document, ESelfUpdateMode mode = ESelfUpdateMode::Off,
                 std::optional<quint64> freeSpace = std::nullopt)
    {
        offer(0, document, version);
        auto manager = makeManager();
        manager->setSelfUpdateMode(mode);
        QSignalSpy allFinished(manager.get(), &TInstallationManager::allStartedUpdatesFinished);
        manager->installOrUpdatePackage(package(0));
        if (freeSpace && !manager->runningInstallations().empty())
            manager->runningInstallations().front()->diskSpaceCheck().setFreeSpaceProvider(
                [freeSpace](const QString&) { return freeSpace; });
        return allFinished.wait(60000) || allFinished.count() == 1;
    }

    void compareWithSource(int package, const QString& version)
    {
        for (const QString& file :
             {QStringLiteral("bin/client"), QStringLiteral("data/small.txt"), QStringLiteral("data/big.bin"),
              QStringLiteral("QuenmarOnlineClient_Data/Data/Settings/client.cfg")}) {
            QVERIFY2(packagetest::readFile(installed(package, file)) == packagetest::readFile(source(version, file)),
                     qPrintable(file));
        }
    }

    QByteArray marker(int package, const QString& name) const
    {
        QFile file(installed(package, name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(QStringLiteral("Brelmor GmbH"));
        QCoreApplication::setApplicationName(QStringLiteral("Quenmar Online Manager Test"));
    }

    void init()
    {
        QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).removeRecursively();
        m_root = std::make_unique<QTemporaryDir>();
        QVERIFY(m_root->isValid());
        m_server = std::make_unique<TTestHttpServer>();
        QVERIFY(QDir().mkpath(path(QStringLiteral("published"))));
        m_server->setDocumentRoot(path(QStringLiteral("published")));
        useSettings({});
        m_configuration = std::make_shared<TLauncherConfigurationReader>(mainConfiguration(2), m_server->url());
        m_events.clear();
        m_ignoresCase.reset();
        m_log = std::make_unique<TLogCapture>();
    }

    void cleanup()
    {
        m_log.reset();
        m_configuration.reset();
        m_server.reset();
        m_root.reset();
    }

    // Only main tunes the allocator: a run that keeps chunk-sized blocks in the heap would change
    // how every other part of the process allocates. First of the tests, so that no freed mapped
    // block has yet raised the allocator's own threshold.
    void creatingARunLeavesTheProcessAllocatorAlone()
    {
#if defined(__GLIBC__) && !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)
        const TInstallationManager manager(m_configuration, m_helper);
        const TPackageInstallation run(m_configuration->packages().at(0), m_helper);
        const auto mappedBlocks = [] { return mallinfo2().hblks; };
        const size_t before = mappedBlocks();
        const auto block = std::make_unique<char[]>(16 * 1024 * 1024);
        QCOMPARE(mappedBlocks(), before + 1);
#else
        QSKIP("needs the C library's own allocator");
#endif
    }

    void firstInstallationRunsThroughEveryStep_data()
    {
        QTest::addColumn<bool>("skipVerification");
        QTest::newRow("verification skipped") << true;
        QTest::newRow("verification run") << false;
    }

    void firstInstallationRunsThroughEveryStep()
    {
        QFETCH(bool, skipVerification);
        TTestSettings settings;
        settings.skipVerification = skipVerification;
        useSettings(settings);
        writeSource(QStringLiteral("v1"), {1, 2, 3});
        const QByteArray document = build(QStringLiteral("v1"));
        packagetest::writeFile(m_helper->accountGroupFilePath(), R"({"Key":"group"})");
        offer(0, document, QStringLiteral("v1"));

        auto manager = makeManager();
        manager->setSelfUpdateMode(ESelfUpdateMode::Launcher);
        QSignalSpy allFinished(manager.get(), &TInstallationManager::allStartedUpdatesFinished);
        manager->installOrUpdatePackage(package(0));
        QCOMPARE(manager->runningInstallations().size(), std::size_t(1));
        QVERIFY(allFinished.wait(60000));

        // The partial marker holds the offered document from the start; the full marker appears
        // only once every file is written (and verified).
        const QStringList expected{
            QStringLiteral("status Package 0 2 [full -, partial v1]"),
            QStringLiteral("started Package 0 mode 1 [full -, partial v1]"),
            QStringLiteral("funnel launcher_downloaded FunnelFinishedDownloadingFirst [full -, partial v1]"),
            QStringLiteral("status Package 0 4 [full v1, partial -]"),
            QStringLiteral("funnel launcher_verified FunnelFinished_VerifyingFirst [full v1, partial -]"),
            QStringLiteral("finished Package 0 reason 0 [full v1, partial -]"),
            QStringLiteral("allStartedUpdatesFinished [full v1, partial -]"),
        };
        QCOMPARE(m_events.join("\n"), expected.join("\n"));
        QVERIFY(manager->runningInstallations().empty());
        compareWithSource(0, QStringLiteral("v1"));
        QCOMPARE(marker(0, QStringLiteral("package.json")), document);
        QCOMPARE(marker(0, QStringLiteral("partial-package.json")), QByteArray("<missing>"));
        QVERIFY(package(0)->packageIsUpToDateFlag());
        QCOMPARE(QFile::permissions(installed(0, QStringLiteral("bin/client"))) & ExecuteForAll, ExecuteForAll);
        QCOMPARE(QFile::permissions(installed(0, QStringLiteral("data/small.txt"))) & ExecuteForAll,
                 QFileDevice::Permissions());
        QCOMPARE(marker(0, QStringLiteral("QuenmarOnlineClient_Data/Data/Settings/accountgroup.json")),
                 QByteArray(R"({"Key":"group"})"));

        const auto name = QStringLiteral("\"Package 0\"");
        QCOMPARE(m_log->count(QStringLiteral("Info: installOrUpdatePackage:  %1  Thread:  %2").arg(name, Thread)), 1);
        QCOMPARE(m_log->count(QStringLiteral("Info: onRequiredChangesComputedForInstallation  files to download:  4 "
                                             " files to delete:  0  Thread:  ") +
                              Thread),
                 1);
        QCOMPARE(m_log->count(QStringLiteral("Info: startDownload:  %1  Thread:  %2").arg(name, Thread)), 1);
        QCOMPARE(m_log->count(QStringLiteral("Info: onDownloadCompleted %1  Thread:  %2").arg(name, Thread)), 1);
        QCOMPARE(m_log->count(QStringLiteral("Info: onDownloadFinished found:  %1  InstallationsInProgress:  1 "
                                             " Thread:  %2")
                                  .arg(name, Thread)),
                 1);
        QCOMPARE(m_log->count(QStringLiteral("Info: onDownloadFinished LocalConfiguration:  4  Thread:  ") + Thread),
                 1);
        QCOMPARE(m_log->count(QStringLiteral("Info: onVerificationFinished found package:  %1  without error:  true "
                                             " Thread:  %2")
                                  .arg(name, Thread)),
                 1);
    }

    void secondRequestForARunningPackageIsIgnored()
    {
        writeSource(QStringLiteral("v1"), {1});
        offer(0, build(QStringLiteral("v1")), QStringLiteral("v1"));
        auto manager = makeManager();
        QSignalSpy started(manager.get(), &TInstallationManager::installationOrUpdateStarted);
        QSignalSpy allFinished(manager.get(), &TInstallationManager::allStartedUpdatesFinished);
        manager->installOrUpdatePackage(package(0));
        manager->installOrUpdatePackage(package(0));
        manager->verifyPackage(package(0));
        QCOMPARE(started.count(), 1);
        QCOMPARE(manager->runningInstallations().size(), std::size_t(1));
        QVERIFY(allFinished.wait(60000));
        QCOMPARE(m_log->count(QStringLiteral("Info: installOrUpdatePackage:  \"Package 0\"  Thread:  ") + Thread), 2);
        QCOMPARE(int(package(0)->localPackageStatus()), int(ELocalPackageStatus::Installed));
    }

    void packageListingLauncherNamesIsRefused_data()
    {
        QTest::addColumn<QString>("localFile");
        QTest::addColumn<QString>("reason");
        QTest::newRow("reserved name") << QStringLiteral("default/user.txt")
                                       << QStringLiteral("a name the launcher keeps for its own files");
        QTest::newRow("name differing only in case where case is ignored")
            << QStringLiteral("data/Small.txt")
            << QStringLiteral(
                   "whose name differs from another only in case, which the file system of <folder> ignores");
    }

    void packageListingLauncherNamesIsRefused()
    {
        QFETCH(QString, localFile);
        QFETCH(QString, reason);
        writeSource(QStringLiteral("v1"), {1});
        QVERIFY(install(QStringLiteral("v1"), build(QStringLiteral("v1"))));
        writeSource(QStringLiteral("v2"), {1, 2});
        packagetest::writeFile(source(QStringLiteral("v2"), localFile), "game data");
        const QByteArray document = build(QStringLiteral("v2"));
        m_ignoresCase = true;
        m_server->clearLog();
        m_events.clear();

        QVERIFY(install(QStringLiteral("v2"), document));
        // Nothing is fetched or written: the installed build and its markers stay as they were.
        const QStringList expected{
            QStringLiteral("started Package 0 mode 0 [full v1, partial -]"),
            QStringLiteral("finished Package 0 reason 1 [full v1, partial -]"),
            QStringLiteral("allStartedUpdatesFinished [full v1, partial -]"),
        };
        QCOMPARE(m_events.join("\n"), expected.join("\n"));
        QCOMPARE(m_server->requestCount(), 0);
        compareWithSource(0, QStringLiteral("v1"));
        QVERIFY(!QFileInfo::exists(installed(0, localFile)));
        reason.replace(QStringLiteral("<folder>"), QDir(installed(0, QString())).absolutePath());
        QCOMPARE(m_log->count(QStringLiteral("Warning: package Package 0 lists the file '%1', %2; invalid package "
                                             "data, the package is not installed")
                                  .arg(TLogCapture::literal(localFile), TLogCapture::literal(reason))),
                 1);
    }

    void identicalConfigurationDownloadsNothing()
    {
        writeSource(QStringLiteral("v1"), {1, 2});
        const QByteArray document = build(QStringLiteral("v1"));
        QVERIFY(install(QStringLiteral("v1"), document));
        m_server->clearLog();
        m_events.clear();

        QVERIFY(install(QStringLiteral("v1"), document));
        QCOMPARE(m_server->requestCount(), 0);
        QVERIFY(m_events.filter(QStringLiteral("finished"))
                    .first()
                    .startsWith(QLatin1String("finished Package 0 reason 0")));
        QCOMPARE(int(package(0)->localPackageStatus()), int(ELocalPackageStatus::Installed));
        QCOMPARE(m_log->count(QStringLiteral("Info: onRequiredChangesComputedForInstallation  files to download:  0 "
                                             " files to delete:  0  Thread:  ") +
                              Thread),
                 1);
        compareWithSource(0, QStringLiteral("v1"));
    }

    void updateThatOnlyMovesDataNeedsNoRequest()
    {
        writeSource(QStringLiteral("v1"), {1, 2, 3});
        writeSource(QStringLiteral("v2"), {3, 1, 2});
        // Same small files, so only big.bin differs, and only in the order of its chunks.
        QFile::remove(source(QStringLiteral("v2"), QStringLiteral("data/small.txt")));
        QFile::copy(source(QStringLiteral("v1"), QStringLiteral("data/small.txt")),
                    source(QStringLiteral("v2"), QStringLiteral("data/small.txt")));
        QFile::remove(source(QStringLiteral("v2"), QStringLiteral("bin/client")));
        QFile::copy(source(QStringLiteral("v1"), QStringLiteral("bin/client")),
                    source(QStringLiteral("v2"), QStringLiteral("bin/client")));
        const QByteArray first = build(QStringLiteral("v1"));
        const QByteArray second = build(QStringLiteral("v2"));
        QVERIFY(install(QStringLiteral("v1"), first));
        m_server->clearLog();

        QVERIFY(install(QStringLiteral("v2"), second));
        QCOMPARE(m_server->requestCount(), 0);
        compareWithSource(0, QStringLiteral("v2"));
        QCOMPARE(marker(0, QStringLiteral("package.json")), second);
        QCOMPARE(int(package(0)->localPackageStatus()), int(ELocalPackageStatus::Installed));
    }

    void twoPackagesAtOnceEndWithOneAllFinished()
    {
        writeSource(QStringLiteral("v1"), {1, 2});
        const QByteArray document = build(QStringLiteral("v1"));
        offer(0, document, QStringLiteral("v1"));
        offer(1, document, QStringLiteral("v1"));
        auto manager = makeManager();
        QSignalSpy allFinished(manager.get(), &TInstallationManager::allStartedUpdatesFinished);
        manager->installOrUpdatePackage(package(0));
        manager->installOrUpdatePackage(package(1));
        QCOMPARE(manager->runningInstallations().size(), std::size_t(2));
        QTRY_COMPARE_WITH_TIMEOUT(m_events.filter(QStringLiteral("finished Package")).size(), 2, 60000);
        QCOMPARE(allFinished.count(), 1);
        QVERIFY(m_events.last().startsWith(QLatin1String("allStartedUpdatesFinished")));
        compareWithSource(0, QStringLiteral("v1"));
        compareWithSource(1, QStringLiteral("v1"));
    }

    void runsFollowTheDownloadPreferencesUnderOneLimit()
    {
        writeSource(QStringLiteral("v1"), {1, 2});
        const QByteArray document = build(QStringLiteral("v1"));
        offer(0, document, QStringLiteral("v1"));
        offer(1, document, QStringLiteral("v1"));
        TDownloadPreferences preferences(0, 10);
        const auto limiter = std::make_shared<::shared::TDownloadRateLimiter>(20000000);
        auto manager = makeManager();
        manager->installOrUpdatePackage(package(0));
        manager->setDownloadPreferences(&preferences, limiter);
        manager->installOrUpdatePackage(package(1));
        preferences.setMaxConcurrentDownloads(3);

        // The run that was under way and the one started later alike.
        for (const auto& installation : manager->runningInstallations()) {
            QCOMPARE(installation->downloadPool()->rateLimiter(), limiter);
            QCOMPARE(installation->downloadPool()->maxParallelRequests(), 3);
        }
        QTRY_COMPARE_WITH_TIMEOUT(m_events.filter(QStringLiteral("finished Package")).size(), 2, 60000);
        QCOMPARE(m_events.filter(QStringLiteral(" reason 0 ")).size(), 2);
        compareWithSource(0, QStringLiteral("v1"));
        compareWithSource(1, QStringLiteral("v1"));
    }

    void verifyRequestFindsACorruptedFile()
    {
        writeSource(QStringLiteral("v1"), {1});
        const QByteArray document = build(QStringLiteral("v1"));
        QVERIFY(install(QStringLiteral("v1"), document));
        QByteArray corrupted = packagetest::readFile(installed(0, QStringLiteral("data/small.txt")));
        corrupted[0] = 'S';
        packagetest::writeFile(installed(0, QStringLiteral("data/small.txt")), corrupted);
        package(0)->setPackageIsUpToDateFlag(false);
        m_events.clear();

        auto manager = makeManager();
        QSignalSpy allFinished(manager.get(), &TInstallationManager::allStartedUpdatesFinished);
        manager->verifyPackage(package(0));
        QVERIFY(allFinished.wait(60000));
        const QStringList expected{
            QStringLiteral("status Package 0 2 [full -, partial v1]"),
            QStringLiteral("started Package 0 mode 0 [full -, partial v1]"),
            QStringLiteral("finished Package 0 reason 3 [full -, partial v1]"),
            QStringLiteral("allStartedUpdatesFinished [full -, partial v1]"),
        };
        QCOMPARE(m_events.join("\n"), expected.join("\n"));
        QCOMPARE(int(package(0)->localPackageStatus()), int(ELocalPackageStatus::PartiallyInstalled));
        QCOMPARE(marker(0, QStringLiteral("partial-package.json")), document);
        QCOMPARE(marker(0, QStringLiteral("package.json")), QByteArray("<missing>"));
        QVERIFY(package(0)->packageIsUpToDateFlag());
        QCOMPARE(m_log->count(QStringLiteral("Info: verifyPackage:  \"Package 0\"  Thread:  ") + Thread), 1);
        QVERIFY(m_log->countContaining(QStringLiteral("verification of file")) > 0);

        // A new installation repairs it.
        QVERIFY(install(QStringLiteral("v1"), document));
        compareWithSource(0, QStringLiteral("v1"));
        QCOMPARE(int(package(0)->localPackageStatus()), int(ELocalPackageStatus::Installed));
    }

    void downloadFailureKeepsTheDocumentOfTheStart_data()
    {
        QTest::addColumn<bool>("update");
        QTest::newRow("first installation") << false;
        QTest::newRow("update") << true;
    }

    void downloadFailureKeepsTheDocumentOfTheStart()
    {
        QFETCH(bool, update);
        writeSource(QStringLiteral("v1"), {1, 2});
        writeSource(QStringLiteral("v2"), {1, 4});
        const QByteArray first = build(QStringLiteral("v1"));
        const QByteArray second = build(QStringLiteral("v2"));
        if (update)
            QVERIFY(install(QStringLiteral("v1"), first));
        // The server no longer has the new chunk of v2.
        const QJsonArray chunks = QJsonDocument::fromJson(second).object().value(QStringLiteral("chunks")).toArray();
        for (const QJsonValue& chunk : chunks) {
            const QString url = chunk.toObject().value(QStringLiteral("url")).toString();
            if (!first.contains(url.toUtf8()))
                QVERIFY(QFile::remove(path(QStringLiteral("published/v2/") + url)));
        }
        m_events.clear();
        package(0)->setPackageIsUpToDateFlag(false);

        QVERIFY(install(QStringLiteral("v2"), second));
        QCOMPARE(m_events.filter(QStringLiteral("finished")).first(),
                 QStringLiteral("finished Package 0 reason 1 [full -, partial %1]").arg(update ? "v1" : "v2"));
        QCOMPARE(m_events.filter(QStringLiteral("funnel")).size(), 0);
        QCOMPARE(int(package(0)->localPackageStatus()), int(ELocalPackageStatus::PartiallyInstalled));
        QCOMPARE(marker(0, QStringLiteral("partial-package.json")), update ? first : second);
        QCOMPARE(marker(0, QStringLiteral("package.json")), QByteArray("<missing>"));
        QVERIFY(!package(0)->packageIsUpToDateFlag());
    }

    // Quitting while paused leaves the run as an interrupted one; the next start fetches only what
    // was not written yet.
    void quitWhilePausedKeepsThePartialStateForTheNextStart()
    {
        writeSource(QStringLiteral("v1"), {1, 2, 3, 4});
        const QByteArray document = build(QStringLiteral("v1"));
        const QJsonArray chunks = QJsonDocument::fromJson(document).object().value(QStringLiteral("chunks")).toArray();
        QStringList objects;
        for (const QJsonValue& chunk : chunks)
            objects << QStringLiteral("/v1/") + chunk.toObject().value(QStringLiteral("url")).toString();
        QVERIFY(objects.size() >= 4);
        const QString held = objects.last();
        const auto heldSize =
            static_cast<TFileSize>(chunks.last().toObject().value(QStringLiteral("unpackedsize")).toDouble());
        const QByteArray heldBody = packagetest::readFile(path(QStringLiteral("published") + held));
        m_server->setResponse(held, TTestHttpResponse().body(heldBody).held());
        offer(0, document, QStringLiteral("v1"));
        {
            auto manager = makeManager();
            manager->installOrUpdatePackage(package(0));
            TPackageInstallation* running = manager->runningInstallations().front().get();
            bool allButHeldWritten = false;
            connect(running->fileDownloader(), &TPackageFileDownloader::progress, this,
                    [&](TFileSize, TFileSize, TFileSize written, TFileSize toWrite) {
                        allButHeldWritten = written + heldSize == toWrite;
                    });
            QTRY_COMPARE_WITH_TIMEOUT(m_server->heldCount(held), 1, 30000);
            QTRY_VERIFY_WITH_TIMEOUT(allButHeldWritten, 30000);
            running->pause();
            QVERIFY(running->isPaused());
        }
        QCOMPARE(m_events.filter(QStringLiteral("finished")).size(), 0);
        QCOMPARE(markerTag(QStringLiteral("package.json")), QStringLiteral("-"));
        QCOMPARE(markerTag(QStringLiteral("partial-package.json")), QStringLiteral("v1"));
        QCOMPARE(m_log->count(QStringLiteral("Info: installation paused: Package 0")), 1);

        m_server->releaseHeld(held);
        m_server->setResponse(held, TTestHttpResponse().body(heldBody));
        QVERIFY(install(QStringLiteral("v1"), document));
        compareWithSource(0, QStringLiteral("v1"));
        QCOMPARE(marker(0, QStringLiteral("package.json")), document);
        for (const QString& object : objects)
            QCOMPARE(m_server->requestCount(object), object == held ? 2 : 1);
    }

    void runWithoutDiskSpaceDownloadsNothing_data()
    {
        downloadFailureKeepsTheDocumentOfTheStart_data();
    }

    void runWithoutDiskSpaceDownloadsNothing()
    {
        QFETCH(bool, update);
        writeSource(QStringLiteral("v1"), {1, 2});
        writeSource(QStringLiteral("v2"), {1, 4, 5});
        const QByteArray first = build(QStringLiteral("v1"));
        const QByteArray second = build(QStringLiteral("v2"));
        if (update)
            QVERIFY(install(QStringLiteral("v1"), first));
        m_server->clearLog();
        m_events.clear();

        QVERIFY(install(QStringLiteral("v2"), second, ESelfUpdateMode::Off, 0));
        QCOMPARE(m_server->requestCount(), 0);
        QCOMPARE(m_events.filter(QStringLiteral("finished")).first(),
                 QStringLiteral("finished Package 0 reason 4 [full -, partial %1]").arg(update ? "v1" : "v2"));
        QCOMPARE(int(package(0)->localPackageStatus()), int(ELocalPackageStatus::PartiallyInstalled));
        QCOMPARE(m_log->count(QStringLiteral("Warning: not enough disk space for Package 0 in %1: \\d+ bytes needed, 0 "
                                             "bytes free; nothing is downloaded")
                                  .arg(TLogCapture::literal(
                                      m_helper->packagesDirectory().absoluteFilePath(QStringLiteral("pkg0"))))),
                 1);

        // With the space there, the next run completes the installation.
        QVERIFY(install(QStringLiteral("v2"), second));
        compareWithSource(0, QStringLiteral("v2"));
        QCOMPARE(marker(0, QStringLiteral("package.json")), second);
    }

    void selfUpdateNeverWritesIntoAnInstalledFile_data()
    {
        QTest::addColumn<bool>("succeeds");
        QTest::newRow("complete run") << true;
        QTest::newRow("failed run") << false;
    }

    void selfUpdateNeverWritesIntoAnInstalledFile()
    {
        QFETCH(bool, succeeds);
        const QString v1 = QStringLiteral("v1");
        const QString v2 = QStringLiteral("v2");
        const QString gone = QStringLiteral("lib/libgone.so");
        writeSource(v1, {1, 2, 3});
        packagetest::writeFile(source(v1, gone), "a library that only the old version has");
        QVERIFY(install(v1, build(v1)));
        // The big file keeps two of its chunks, which the update could reuse from the old file.
        writeSource(v2, {1, 4, 3});
        const QByteArray document = build(v2);
        if (!succeeds)
            QVERIFY(QDir(path(QStringLiteral("published/v2/objects"))).removeRecursively());

        const QStringList changed{QStringLiteral("bin/client"), QStringLiteral("data/big.bin"),
                                  QStringLiteral("data/small.txt")};
        const QString unchanged = QStringLiteral("QuenmarOnlineClient_Data/Data/Settings/client.cfg");
        std::map<QString, std::unique_ptr<TMappedFile>> mapped;
        for (const QString& file : changed + QStringList{unchanged, gone}) {
            mapped[file] = std::make_unique<TMappedFile>(installed(0, file));
            QVERIFY2(mapped[file]->isMapped(), qPrintable(file));
        }

        QVERIFY(install(v2, document, ESelfUpdateMode::Launcher));
        for (const auto& [file, mapping] : mapped)
            QVERIFY2(mapping->bytesUnchanged(), qPrintable(file));
        QCOMPARE(inodeOf(installed(0, unchanged)), mapped[unchanged]->inode());
        QVERIFY(!QFileInfo::exists(installed(0, unchanged) + QStringLiteral(".old")));
        const TReplacementJournal journal(QDir(installed(0, QString())));
        if (!succeeds) {
            // The old version stays whole, the file it alone uses included.
            compareWithSource(0, v1);
            for (const auto& [file, mapping] : mapped)
                QCOMPARE(inodeOf(installed(0, file)), mapping->inode());
            QVERIFY(journal.retiredFiles().isEmpty());
            return;
        }
        compareWithSource(0, v2);
        // Each changed file is a new one under the old name; the old one lives on as ".old".
        for (const QString& file : changed) {
            QVERIFY2(inodeOf(installed(0, file)) != mapped[file]->inode(), qPrintable(file));
            QCOMPARE(inodeOf(installed(0, file) + QStringLiteral(".old")), mapped[file]->inode());
        }
        QVERIFY(!QFileInfo::exists(installed(0, gone)));
        QCOMPARE(inodeOf(installed(0, gone) + QStringLiteral(".old")), mapped[gone]->inode());
        QCOMPARE(journal.retiredFiles(), QStringList{gone});
    }

    void chunkIndexOutsideTheChunkListFailsTheRun()
    {
        writeSource(QStringLiteral("v1"), {1, 2});
        const QByteArray document =
            packagetest::editFile(build(QStringLiteral("v1")), QStringLiteral("data/big.bin"), [](QJsonObject& file) {
                file.insert(QStringLiteral("chunks"), QJsonArray{0, 99});
                file.remove(QStringLiteral("url"));
            });
        QVERIFY(install(QStringLiteral("v1"), document));
        QVERIFY(m_events.filter(QStringLiteral("finished"))
                    .first()
                    .startsWith(QLatin1String("finished Package 0 reason 1")));
        QCOMPARE(int(package(0)->localPackageStatus()), int(ELocalPackageStatus::PartiallyInstalled));
        QCOMPARE(m_log->count(QStringLiteral("Warning: file \"data/big.bin\" was not installed: the package data "
                                             "offers no usable download")),
                 1);
        // The other files are in place; the next run only has to fetch what is fetchable.
        QCOMPARE(packagetest::readFile(installed(0, QStringLiteral("data/small.txt"))),
                 packagetest::readFile(source(QStringLiteral("v1"), QStringLiteral("data/small.txt"))));
    }
};

QTEST_MAIN(TestInstallationManager)
#include "tst_installationmanager.moc"
