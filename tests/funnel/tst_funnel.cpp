// Funnel events against the local HTTP server: body, first-time flags, device identifier.
#include "funnel/TFunnelEventSender.h"
#include "support/TTemporaryHome.h"
#include "support/TTestHttpServer.h"

#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using orvan::launcher::TFunnelEventSender;
using testsupport::TTestHttpResponse;
using testsupport::TTestHttpServer;

class TestFunnel : public QObject
{
    Q_OBJECT

private:
    // The shared identity file goes to a private home, away from parallel runs of this test.
    testsupport::TTemporaryHome m_home;
    QTemporaryDir m_settingsDir;
    TTestHttpServer m_server;

    QJsonObject lastBody() const
    {
        const auto requests = m_server.requests(QStringLiteral("/funnel"));
        return requests.isEmpty() ? QJsonObject() : QJsonDocument::fromJson(requests.last().body).object();
    }

    static QString sharedFilePath()
    {
        return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
               TFunnelEventSender::sharedIdentifierFile;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_settingsDir.isValid());
        QStandardPaths::setTestModeEnabled(true);
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, m_settingsDir.path());
        QCoreApplication::setOrganizationName(QStringLiteral("Brelmor GmbH"));
        QCoreApplication::setApplicationName(QStringLiteral("Quenmar Online"));
        QSettings().clear();
        // Only this test's file: the folder is shared with the other test programs that run at the same time.
        QFile::remove(sharedFilePath());
        QDir().mkpath(QFileInfo(sharedFilePath()).absolutePath());
        m_server.setContent(QStringLiteral("/funnel"), "{\"ok\":true}\0trailing", "application/json");
    }

    void firstAndLaterEvents()
    {
        TFunnelEventSender sender;
        QSignalSpy finished(&sender, &TFunnelEventSender::funnelEventFinished);
        sender.sendFunnelEvent(m_server.url(QStringLiteral("/funnel")), QStringLiteral("group-1"),
                               QStringLiteral("launcher_started"), QStringLiteral("FunnelStartedFirst"));
        QCOMPARE(sender.pendingEventCount(), 1);
        QVERIFY(finished.wait());
        QCOMPARE(finished.at(0).at(1).toBool(), true);
        QCOMPARE(sender.pendingEventCount(), 0);

        const auto request = m_server.requests(QStringLiteral("/funnel")).last();
        QCOMPARE(request.method, QByteArray("POST"));
        QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
        QVERIFY2(request.body.contains("\n    \""), "the body is indented JSON");
        const QJsonObject first = lastBody();
        QCOMPARE(first.value(QStringLiteral("step")).toString(), QStringLiteral("launcher_started"));
        QCOMPARE(first.value(QStringLiteral("first")).toBool(), true);
        QCOMPARE(first.value(QStringLiteral("accountgroupkey")).toString(), QStringLiteral("group-1"));
        const QString id = first.value(QStringLiteral("id")).toString();
        QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f-]{36}$")).match(id).hasMatch());
        QCOMPARE(QSettings().value(QStringLiteral("FunnelUuid")).toString(), id);

        QFile shared(sharedFilePath());
        QVERIFY(shared.open(QIODevice::ReadOnly));
        QCOMPARE(
            QJsonDocument::fromJson(shared.readAll()).object().value(QStringLiteral("DeviceIdentifier")).toString(),
            id);

        sender.sendFunnelEvent(m_server.url(QStringLiteral("/funnel")), QString(), QStringLiteral("launcher_started"),
                               QStringLiteral("FunnelStartedFirst"));
        QVERIFY(finished.wait());
        const QJsonObject second = lastBody();
        QCOMPARE(second.value(QStringLiteral("first")).toBool(), false);
        QCOMPARE(second.value(QStringLiteral("id")).toString(), id);
        QCOMPARE(second.value(QStringLiteral("accountgroupkey")).toString(), QString());

        sender.sendFunnelEvent(m_server.url(QStringLiteral("/funnel")), QString(), QStringLiteral("launcher_verified"),
                               QStringLiteral("FunnelFinished_VerifyingFirst"));
        QVERIFY(finished.wait());
        QCOMPARE(lastBody().value(QStringLiteral("first")).toBool(), true);
        QCOMPARE(lastBody().keys(), (QStringList{"accountgroupkey", "first", "id", "step"}));
    }

    void endpointDownIsLoggedAndTheFlagIsSpent()
    {
        TTestHttpServer down;
        const QUrl url = down.url(QStringLiteral("/funnel"));
        down.stop();
        TFunnelEventSender sender;
        QSignalSpy finished(&sender, &TFunnelEventSender::funnelEventFinished);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral(
                                               "^Error funnel sending \\(Step:  \"launcher_downloaded\" \\):")));
        sender.sendFunnelEvent(url, QString(), QStringLiteral("launcher_downloaded"),
                               QStringLiteral("FunnelFinishedDownloadingFirst"));
        QVERIFY(finished.wait());
        QCOMPARE(finished.at(0).at(1).toBool(), false);
        // A failed post is no longer outstanding: the launcher's exit does not wait for it.
        QCOMPARE(sender.pendingEventCount(), 0);
        QCOMPARE(QSettings().value(QStringLiteral("FunnelFinishedDownloadingFirst"), true).toBool(), false);
    }

    void serverErrorCountsAsFailure()
    {
        m_server.setResponse(QStringLiteral("/broken"), TTestHttpResponse().status(500).body("no"));
        TFunnelEventSender sender;
        QSignalSpy finished(&sender, &TFunnelEventSender::funnelEventFinished);
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Error funnel sending")));
        sender.sendFunnelEvent(m_server.url(QStringLiteral("/broken")), QString(), QStringLiteral("launcher_started"),
                               QStringLiteral("FunnelStartedFirst"));
        QVERIFY(finished.wait());
        QCOMPARE(finished.at(0).at(1).toBool(), false);
    }
};

QTEST_GUILESS_MAIN(TestFunnel)
#include "tst_funnel.moc"
