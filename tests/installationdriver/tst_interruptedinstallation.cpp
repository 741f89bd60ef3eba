// An installation that is killed (SIGKILL) in the middle and started again completes with the
// published bytes. The installation runs in the driver executable, against the in-process server.
#include "support/PackageTestData.h"

#include "support/TTestHttpServer.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <memory>

using testsupport::TTestHttpResponse;
using testsupport::TTestHttpServer;

namespace {

constexpr int BigFileBlocks = 8;
constexpr QFileDevice::Permissions ExecuteForAll =
    QFileDevice::ExeOwner | QFileDevice::ExeGroup | QFileDevice::ExeOther;

/// One run of the driver; its "written <url>" lines are collected as they arrive.
class TDriverRun : public QObject
{
public:
    TDriverRun(const QUrl& document, const QString& dataFolder, const QString& settings)
    {
        connect(&m_process, &QProcess::readyReadStandardOutput, this,
                [this] { m_output += m_process.readAllStandardOutput(); });
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(QStringLiteral(QUENMAR_INSTALLATION_DRIVER), {document.toString(), dataFolder, settings});
    }

    ~TDriverRun() override
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(10000);
        }
    }

    QStringList written() const
    {
        QStringList urls;
        for (const QByteArray& line : m_output.split('\n')) {
            if (line.startsWith("written "))
                urls << QString::fromUtf8(line.mid(8));
        }
        return urls;
    }

    bool isRunning() const { return m_process.state() != QProcess::NotRunning; }

    /// SIGKILL: no handler, no flush, no destructor runs in the driver.
    bool kill()
    {
        m_process.kill();
        return QTest::qWaitFor([this] { return !isRunning(); }, 10000);
    }

    /// Waits for the driver's own end; its exit code, or -1 when it did not end normally.
    int waitForExit(int timeoutMs = 120000)
    {
        if (!QTest::qWaitFor([this] { return !isRunning(); }, timeoutMs))
            return -1;
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

    QByteArray output() const { return m_output; }

private:
    QProcess m_process;
    QByteArray m_output;
};

} // namespace

class TestInterruptedInstallation : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> m_root;
    std::unique_ptr<TTestHttpServer> m_server;
    QByteArray m_document;
    QStringList m_objectPaths;

    QString path(const QString& relative) const { return QDir(m_root->path()).filePath(relative); }
    QString installed(const QString& localFile) const
    {
        return path(QStringLiteral("data/Brelmor GmbH/Quenmar Online Driver/packages/driven/") + localFile);
    }
    QUrl documentUrl() const { return m_server->url(QStringLiteral("/pkg/package.json")); }

    std::unique_ptr<TDriverRun> startDriver()
    {
        return std::make_unique<TDriverRun>(documentUrl(), path(QStringLiteral("data")),
                                            path(QStringLiteral("launchersettings.ini")));
    }

    /// Serves every object of the package, held back until released when Held is set.
    void serveObjects(bool held)
    {
        for (const QString& object : m_objectPaths) {
            TTestHttpResponse response;
            response.file(path(QStringLiteral("published") + object));
            m_server->setResponse(object, held ? response.held() : response);
        }
    }

    /// The object paths of the big file's chunks, in file order.
    QStringList bigFileChunkPaths() const
    {
        const QJsonObject root = QJsonDocument::fromJson(m_document).object();
        const QJsonArray chunks = root.value(QStringLiteral("chunks")).toArray();
        QStringList paths;
        for (const QJsonValue& file : root.value(QStringLiteral("files")).toArray()) {
            if (file.toObject().value(QStringLiteral("localfile")).toString() != QLatin1String("data/big.bin"))
                continue;
            for (const QJsonValue& index : file.toObject().value(QStringLiteral("chunks")).toArray())
                paths << QStringLiteral("/pkg/") +
                             chunks.at(index.toInt()).toObject().value(QStringLiteral("url")).toString();
        }
        return paths;
    }

    void compareWithSource()
    {
        QDirIterator files(path(QStringLiteral("src")), QDir::Files, QDirIterator::Subdirectories);
        int compared = 0;
        while (files.hasNext()) {
            const QString source = files.next();
            const QString relative = QDir(path(QStringLiteral("src"))).relativeFilePath(source);
            QVERIFY2(packagetest::readFile(installed(relative)) == packagetest::readFile(source), qPrintable(relative));
            ++compared;
        }
        QCOMPARE(compared, 3);
        QCOMPARE(packagetest::readFile(installed(QStringLiteral("package.json"))), m_document);
        QVERIFY(!QFileInfo::exists(installed(QStringLiteral("partial-package.json"))));
        QCOMPARE(QFile::permissions(installed(QStringLiteral("bin/run"))) & ExecuteForAll, ExecuteForAll);
    }

    /// Runs the driver to its end with every object available; true when it installed the package.
    bool completeInstallation()
    {
        serveObjects(false);
        m_server->releaseHeld();
        auto run = startDriver();
        const int exitCode = run->waitForExit();
        if (exitCode != 0)
            qWarning() << "driver output:" << run->output();
        return exitCode == 0;
    }

private slots:
    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        QVERIFY(m_root->isValid());
        packagetest::writeFile(path(QStringLiteral("src/bin/run")), "#!/bin/sh\necho run\n");
        QFile::setPermissions(path(QStringLiteral("src/bin/run")),
                              QFile::permissions(path(QStringLiteral("src/bin/run"))) | ExecuteForAll);
        packagetest::writeFile(path(QStringLiteral("src/small.txt")), "a small file");
        packagetest::writeFile(path(QStringLiteral("src/data/big.bin")),
                               packagetest::blocks({11, 12, 13, 14, 15, 16, 17, 18}));
        packagetest::buildPackage(path(QStringLiteral("src")), path(QStringLiteral("published/pkg")),
                                  QStringLiteral("1.0"));
        m_document = packagetest::readFile(path(QStringLiteral("published/pkg/package.json")));
        packagetest::writeFile(path(QStringLiteral("launchersettings.ini")),
                               "[DIRECTORIES]\npackages=packages\n[FILES]\npackageFile=package.json\n"
                               "partialPackageFile=partial-package.json\nassetFile=assets.json\n"
                               "accountGroupFile=accountgroup.json\n");

        m_server = std::make_unique<TTestHttpServer>();
        m_server->setContent(QStringLiteral("/pkg/package.json"), m_document, "application/json");
        m_objectPaths.clear();
        QDirIterator objects(path(QStringLiteral("published/pkg/objects")), QDir::Files, QDirIterator::Subdirectories);
        while (objects.hasNext())
            m_objectPaths << QDir(path(QStringLiteral("published"))).relativeFilePath(objects.next()).prepend('/');
        QCOMPARE(bigFileChunkPaths().size(), BigFileBlocks);
    }

    void cleanup()
    {
        m_server.reset();
        m_root.reset();
    }

    void killedAfterChosenChunksResumesWhereItStopped()
    {
        serveObjects(true);
        const QStringList chunks = bigFileChunkPaths();
        QSet<QString> writtenBefore;
        // Each round lets two more chunks of the big file through and kills the driver once they
        // are written; the next round must not fetch them again.
        for (int round = 0; round < 3; ++round) {
            m_server->clearLog();
            auto run = startDriver();
            QTRY_VERIFY_WITH_TIMEOUT(m_server->heldCount() > 0, 60000);
            for (const QString& requested : m_server->requestedTargets()) {
                QVERIFY2(!writtenBefore.contains(m_server->url(requested).toString()), qPrintable(requested));
            }
            const QStringList release = chunks.mid(round * 2, 2);
            for (const QString& chunk : release) {
                QTRY_COMPARE_WITH_TIMEOUT(m_server->heldCount(chunk), 1, 60000);
                m_server->releaseHeld(chunk);
                const QString url = m_server->url(chunk).toString();
                QTRY_VERIFY_WITH_TIMEOUT(run->written().contains(url), 60000);
                writtenBefore.insert(url);
            }
            for (const QString& requested : m_server->requestedTargets())
                QVERIFY2(!writtenBefore.contains(m_server->url(requested).toString()) || release.contains(requested),
                         qPrintable(requested));
            QVERIFY(run->kill());
            m_server->releaseHeld();
        }
        QVERIFY(completeInstallation());
        compareWithSource();
    }

    void killedWhileChunksArriveCompletesWithIdenticalBytes()
    {
        serveObjects(true);
        QSignalSpy sent(m_server.get(), &TTestHttpServer::responseSent);
        // Each round lets a few objects through and kills the driver the moment the last of them
        // has left the server: while it is received, decoded or written, whichever comes first.
        for (const int released : {0, 1, 2, 3}) {
            auto run = startDriver();
            QTRY_VERIFY_WITH_TIMEOUT(m_server->heldCount() > 0, 60000);
            QString last;
            int left = released;
            for (const QString& object : m_objectPaths) {
                if (left == 0)
                    break;
                if (m_server->heldCount(object) == 0)
                    continue;
                m_server->releaseHeld(object);
                last = object;
                --left;
            }
            if (!last.isEmpty()) {
                QTRY_VERIFY_WITH_TIMEOUT(std::any_of(sent.begin(), sent.end(),
                                                     [&](const QList<QVariant>& Signal) {
                                                         return Signal.first().toByteArray() == last.toUtf8();
                                                     }),
                                         60000);
            }
            QVERIFY(run->isRunning());
            QVERIFY(run->kill());
            m_server->releaseHeld();
            sent.clear();
        }
        QVERIFY(completeInstallation());
        compareWithSource();
    }

    void killedBeforeTheMarkersWereFinishedCompletesOnTheNextRun()
    {
        QVERIFY(completeInstallation());
        // A run that ended between the last write and the full marker looks like this.
        QVERIFY(QFile::rename(installed(QStringLiteral("package.json")),
                              installed(QStringLiteral("partial-package.json"))));
        QByteArray damaged = packagetest::readFile(installed(QStringLiteral("data/big.bin")));
        // Inside the third chunk, away from the bytes that decide where chunks are cut.
        const int position = packagetest::BlockSize * 2 + 1000;
        damaged[position] = static_cast<char>(damaged[position] ^ 0x55);
        packagetest::writeFile(installed(QStringLiteral("data/big.bin")), damaged);
        m_server->clearLog();
        QVERIFY(completeInstallation());
        compareWithSource();
        // Only the damaged chunk was fetched again.
        QCOMPARE(m_server->requestCount() - m_server->requestCount(QStringLiteral("/pkg/package.json")), 1);
    }
};

QTEST_MAIN(TestInterruptedInstallation)
#include "tst_interruptedinstallation.moc"
