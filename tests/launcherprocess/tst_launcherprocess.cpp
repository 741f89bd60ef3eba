// The real launcher binary in a sandbox: single instance, stale segments, the log file.
#include "QuenmarVersion.h"
#include "TLauncherSandbox.h"
#include "support/TTestHttpServer.h"
#include "support/TestFiles.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QtTest>

#include <csignal>

using testsupport::TLauncherSandbox;

class TestLauncherProcess : public QObject
{
    Q_OBJECT

private:
    testsupport::TTestHttpServer m_server;

    // The main configuration request is held by the test server, so the launcher stays up in
    // its waiting state while the test looks at it.
    QByteArray settingsText() const { return settingsText(m_server); }
    static QByteArray settingsText(const testsupport::TTestHttpServer& server)
    {
        return "[URLS]\r\nlauncherConfiguration=" +
               server.url(QStringLiteral("/launcher/brlmetadata.json")).toEncoded() +
               "\r\n\r\n"
               "[DIRECTORIES]\r\npackages=packages\r\nsettingsTarget=QuenmarOnlineClient_Data/Data/Settings\r\n\r\n"
               "[FILES]\r\npackageFile=package.json\r\npartialPackageFile=partial-package.json\r\n"
               "assetFile=assets.json\r\naccountGroupFile=accountgroup.json\r\n\r\n"
               "[TIMING]\r\nwaitNotificationTimeout=500\r\ndownloadErrorTimeout=600000\r\n";
    }

    bool prepare(TLauncherSandbox& sandbox) const { return sandbox.isValid() && sandbox.writeSettings(settingsText()); }

private slots:
    void initTestCase()
    {
        QVERIFY(m_server.isListening());
        m_server.setResponse(QStringLiteral("/launcher/brlmetadata.json"),
                             testsupport::TTestHttpResponse().body("{}").held());
    }

    void secondInstanceEndsWithZeroAndLeavesTheLogAlone()
    {
        TLauncherSandbox sandbox;
        QVERIFY(prepare(sandbox));
        QProcess* first = sandbox.start();
        QVERIFY(sandbox.waitForLog(QStringLiteral("load configuration")));
        const QByteArray logBefore = sandbox.readLog();

        const auto second = sandbox.run();
        QVERIFY(second.finished);
        QCOMPARE(second.exitCode, 0);
        QVERIFY2(second.standardError.contains("already running"), second.standardError.constData());
        QCOMPARE(sandbox.readLog(), logBefore);
        QCOMPARE(first->state(), QProcess::Running);
    }

    void segmentOfAKilledLauncherIsCleared()
    {
        TLauncherSandbox sandbox;
        QVERIFY(prepare(sandbox));
        QProcess* first = sandbox.start();
        QVERIFY(sandbox.waitForLog(QStringLiteral("load configuration")));
        first->kill(); // SIGKILL: no destructor releases the segment
        QVERIFY(first->waitForFinished(10000));

        QFile::remove(sandbox.logFilePath());
        QProcess* restarted = sandbox.start();
        QVERIFY2(sandbox.waitForLog(QStringLiteral("load configuration")),
                 restarted->readAllStandardError().constData());
        QCOMPARE(restarted->state(), QProcess::Running);

        // The new segment is live: a further start is refused again.
        const auto third = sandbox.run();
        QCOMPARE(third.exitCode, 0);
        QVERIFY(third.standardError.contains("already running"));
    }

    void logIsTruncatedPerRunAndFormatted()
    {
        TLauncherSandbox sandbox;
        QVERIFY(prepare(sandbox));
        QProcess* first = sandbox.start();
        QVERIFY2(sandbox.waitForLog(QStringLiteral("load configuration")), first->readAllStandardError().constData());
        first->terminate();
        QVERIFY(first->waitForFinished(10000));

        QFile log(sandbox.logFilePath());
        QVERIFY(log.open(QIODevice::Append));
        log.write("left over from the first run\n");
        log.close();

        sandbox.start();
        QTRY_VERIFY_WITH_TIMEOUT(!sandbox.readLog().contains("left over from the first run") &&
                                     sandbox.readLog().contains("load configuration"),
                                 30000);
        const QByteArray text = sandbox.readLog();

        const QStringList lines = QString::fromUtf8(text).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        QVERIFY(lines.size() >= 2);
        const QRegularExpression versionLine(
            QStringLiteral(R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \(:0\) Info: Version: "%1"  Thread:  0x[0-9a-f]+$)")
                .arg(QRegularExpression::escape(QStringLiteral(QUENMAR_VERSION))));
        const QRegularExpression configurationLine(QStringLiteral(
            R"(^\d{4}-\d\d-\d\d \d\d:\d\d:\d\d \(:0\) Info: load configuration  Thread:  0x[0-9a-f]+$)"));
        QVERIFY2(versionLine.match(lines.at(0)).hasMatch(), qPrintable(lines.at(0)));
        QVERIFY2(configurationLine.match(lines.at(1)).hasMatch(), qPrintable(lines.at(1)));
    }

    // Answered before the single-instance check and the log: works while another launcher runs.
    void versionIsPrintedWithoutStartingUp()
    {
        testsupport::TTestHttpServer server;
        server.setResponse(QStringLiteral("/launcher/brlmetadata.json"),
                           testsupport::TTestHttpResponse().body("{}").held());
        TLauncherSandbox sandbox;
        QVERIFY(sandbox.isValid() && sandbox.writeSettings(settingsText(server)));
        sandbox.start();
        QVERIFY(sandbox.waitForLog(QStringLiteral("load configuration")));
        QTRY_COMPARE_WITH_TIMEOUT(server.requestCount(), 1, 30000);
        const QByteArray logBefore = sandbox.readLog();

        const auto version = sandbox.run({QStringLiteral("--version")});
        QVERIFY(version.finished);
        QCOMPARE(version.exitCode, 0);
        QCOMPARE(version.standardOutput, QByteArray("quenmar-launcher " QUENMAR_VERSION "\n"));
        QVERIFY2(version.standardError.isEmpty(), version.standardError.constData());
        QCOMPARE(sandbox.readLog(), logBefore);
        QCOMPARE(server.requestCount(), 1);
    }

    void accountGroupWarningsPrecedeTheLog()
    {
        TLauncherSandbox sandbox;
        QVERIFY(prepare(sandbox));
        testsupport::writeFile(sandbox.applicationDataDirectory() + QStringLiteral("/accountgroup.json"),
                               R"({"Key": 5})");
        QProcess* process = sandbox.start();
        QVERIFY(sandbox.waitForLog(QStringLiteral("load configuration")));
        process->terminate();
        QVERIFY(process->waitForFinished(10000));
        const QByteArray errors = process->readAllStandardError();
        QVERIFY2(errors.contains("AccountGroupSetting Error: KeyNoString"), errors.constData());
        QVERIFY(!sandbox.readLog().contains("AccountGroupSetting"));
    }

private:
    // Serves a main configuration without packages (and with a survey endpoint) from Server.
    bool prepareLoadedConfiguration(testsupport::TTestHttpServer& server, TLauncherSandbox& sandbox) const
    {
        server.setContent(QStringLiteral("/launcher/brlmetadata.json"),
                          R"({"hardwaresurvey":")" + server.url(QStringLiteral("/survey")).toEncoded() +
                              R"(","packages":[]})",
                          "application/json");
        server.setContent(QStringLiteral("/survey"), R"({"errorCode":0})", "application/json");
        return sandbox.isValid() && sandbox.writeSettings(settingsText(server));
    }

private slots:
    void loadedConfigurationUploadsTheSurveyAndLinksTheProgram()
    {
        testsupport::TTestHttpServer server;
        TLauncherSandbox sandbox;
        QVERIFY(prepareLoadedConfiguration(server, sandbox));
        sandbox.start();
        QTRY_COMPARE_WITH_TIMEOUT(server.requestCount(QStringLiteral("/survey")), 1, 30000);
        const auto survey = server.requests(QStringLiteral("/survey")).first();
        QCOMPARE(survey.method, QByteArray("POST"));
        const QJsonObject document = QJsonDocument::fromJson(survey.body).object();
        QVERIFY2(document.contains(QStringLiteral("dataType")), survey.body.constData());
        QVERIFY(sandbox.waitForLog(QStringLiteral("onLauncherReadyForAction")));

        const QFileInfo link(sandbox.applicationDataDirectory() + QStringLiteral("/quenmar-launcher"));
        QVERIFY(link.isSymLink());
        QCOMPARE(link.symLinkTarget(), QFileInfo(sandbox.launcherPath()).absoluteFilePath());
    }

    void folderWhereTheProgramLinkBelongsIsKept()
    {
        testsupport::TTestHttpServer server;
        TLauncherSandbox sandbox;
        QVERIFY(prepareLoadedConfiguration(server, sandbox));
        const QString folder = sandbox.applicationDataDirectory() + QStringLiteral("/quenmar-launcher");
        testsupport::writeFile(folder + QStringLiteral("/keep.txt"), "kept");
        sandbox.start();
        QVERIFY(sandbox.waitForLog(QStringLiteral("program link not created")));

        QVERIFY(!QFileInfo(folder).isSymLink());
        QVERIFY(QFileInfo::exists(folder + QStringLiteral("/keep.txt")));
    }
};

QTEST_GUILESS_MAIN(TestLauncherProcess)
#include "tst_launcherprocess.moc"
