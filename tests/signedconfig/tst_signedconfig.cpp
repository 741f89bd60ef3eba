// A signed deployment with the real launcher: a client published with quenmar-pack, its main
// configuration pinned and signed in the test, served on 127.0.0.1. After a signed first launch
// the server offers a second generation that has been tampered with in one way each; the launcher
// must refuse it with its log line and leave the installed package as it was.
#include "TFlowPublisher.h"
#include "TLauncherSandbox.h"
#include "support/TTestHttpServer.h"
#include "support/TestFiles.h"
#include "support/TestProcess.h"
#include "support/TestSigningKey.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

using testsupport::filesBelow;
using testsupport::readFile;
using testsupport::TFlowPublisher;
using testsupport::TLauncherSandbox;
using testsupport::TTestHttpResponse;
using testsupport::TTestHttpServer;
using testsupport::TTestSigningKey;
using testsupport::writeFile;

namespace {

constexpr int WaitTimeoutMs = 60000;
const QString Online = QStringLiteral("QuenmarOnline");
const QByteArray RefusedMessage = "The update data offered for Quenmar Online could not be verified";
const QByteArray OutOfDateMessage = "The service configuration of Quenmar Online is out of date.";
// In the hour that Berlin's clocks skip that night.
const QString FirstExpiry = QStringLiteral("2099-03-29T02:30:00Z");

QString sha256Of(const QString& path)
{
    return QString::fromLatin1(QCryptographicHash::hash(readFile(path), QCryptographicHash::Sha256).toHex());
}

QHash<QString, QByteArray> snapshot(const QString& folder)
{
    QHash<QString, QByteArray> files;
    for (const QString& file : filesBelow(folder))
        files.insert(file, readFile(folder + QLatin1Char('/') + file));
    return files;
}

// A published client, trusted keys 0 and 1 in the launcher's settings, key 2 trusted by nobody.
struct TSignedFlow
{
    TTestHttpServer server;
    TFlowPublisher publisher;
    TLauncherSandbox sandbox;
    QTemporaryDir scratch;
    TTestSigningKey keys[3];
    QString reportPath = scratch.filePath(QStringLiteral("client-report.txt"));
    QString source;
    QByteArray trustedKeys = keys[0].publicKeyText() + "," + keys[1].publicKeyText();

    bool prepare()
    {
        if (!server.isListening() || !publisher.isValid() || !sandbox.isValid() || !scratch.isValid())
            return false;
        server.setDocumentRoot(publisher.wwwDirectory());
        sandbox.setEnvironmentValue(TFlowPublisher::ReportVariable, reportPath);
        // A zone whose clock skips the hour of FirstExpiry: the expiry must still be read as UTC.
        sandbox.setEnvironmentValue(QStringLiteral("TZ"), QStringLiteral("Europe/Berlin"));
        return sandbox.writeSettings(
            TFlowPublisher::launcherSettings(server.url(TFlowPublisher::MainConfigurationTarget),
                                             "\r\n[SECURITY]\r\npublicKeys=" + trustedKeys + "\r\n"));
    }

    QString published(const QString& file) const { return publisher.publishedDirectory(Online) + '/' + file; }
    QString installed() const { return sandbox.packagesDirectory() + QLatin1Char('/') + Online; }
    QString savedCopy() const { return sandbox.applicationDataDirectory() + QStringLiteral("/launchermetadata.json"); }

    // Publishes generation `generation` of the client with an asset document.
    bool publish(int generation, const QStringList& extraOptions = {})
    {
        source = publisher.writeClientSource(Online, generation, 256);
        const QString assets = scratch.filePath(QStringLiteral("assets%1").arg(generation));
        writeFile(assets + QStringLiteral("/maps/start.map"), "map of generation " + QByteArray::number(generation));
        // The test signs each generation itself after publishing (sign()); quenmar-pack refuses to
        // rewrite a signed document without a key, so the old signature goes first.
        QFile::remove(publisher.mainConfigurationPath() + QStringLiteral(".sig"));
        return !source.isEmpty() &&
               publisher.publishClient(source, Online, QStringLiteral("Quenmar Online"), true,
                                       QStringLiteral("1.%1").arg(generation),
                                       QStringList{QStringLiteral("--assets"), assets,
                                                   QStringLiteral("--assets-version"), QString::number(generation + 1)}
                                           << extraOptions);
    }

    // Pins the published documents, sets the freshness members and signs the result with `key`.
    bool sign(const TTestSigningKey& key, int serial, const QString& expires = QString())
    {
        const QString packagePin = sha256Of(published(QStringLiteral("package.json")));
        const QString assetPin = sha256Of(published(QStringLiteral("assets.json")));
        const bool edited = publisher.editMainConfiguration([&](QJsonObject& mainConfiguration) {
            QJsonArray packages = mainConfiguration.value(QStringLiteral("packages")).toArray();
            for (QJsonValueRef package : packages) {
                QJsonObject object = package.toObject();
                QJsonArray builds = object.value(QStringLiteral("builds")).toArray();
                for (QJsonValueRef build : builds) {
                    QJsonObject pinned = build.toObject();
                    pinned.insert(QStringLiteral("sha256"), packagePin);
                    pinned.insert(QStringLiteral("assetssha256"), assetPin);
                    build = pinned;
                }
                object.insert(QStringLiteral("builds"), builds);
                package = object;
            }
            mainConfiguration.insert(QStringLiteral("packages"), packages);
            mainConfiguration.insert(QStringLiteral("serial"), serial);
            if (!expires.isEmpty())
                mainConfiguration.insert(QStringLiteral("expires"), expires);
        });
        const QString document = publisher.mainConfigurationPath();
        writeFile(document + QStringLiteral(".sig"), key.signatureText(readFile(document)));
        return edited;
    }

    QString reportedGeneration() const
    {
        for (const QString& line : QString::fromUtf8(readFile(reportPath)).split(QLatin1Char('\n'))) {
            if (line.startsWith(QStringLiteral("generation=")))
                return line.mid(11);
        }
        return QString();
    }
};

void appendToFile(const QString& path, const QByteArray& bytes)
{
    writeFile(path, readFile(path) + bytes);
}

// One tampering with the second generation, the log line that names its refusal and what the
// player gets instead: the installed first generation started from the saved copy, or a message.
struct TTampering
{
    const char* name;
    std::function<void(TSignedFlow&)> apply;
    QByteArray logLine;
    QByteArray message; // empty: the installed client is started
};

const std::vector<TTampering>& tamperings()
{
    static const std::vector<TTampering> table{
        {"altered main configuration",
         [](TSignedFlow& flow) {
             flow.sign(flow.keys[0], 6);
             appendToFile(flow.publisher.mainConfigurationPath(), " ");
         },
         "Download of configuration failed: signature refused: signature does not match any trusted key",
         {}},
        {"missing signature",
         [](TSignedFlow& flow) {
             flow.sign(flow.keys[0], 6);
             QFile::remove(flow.publisher.mainConfigurationPath() + QStringLiteral(".sig"));
         },
         "Download of configuration failed: no signature:",
         {}},
        {"signature by another key",
         [](TSignedFlow& flow) { flow.sign(flow.keys[2], 6); },
         "Download of configuration failed: signature refused: signature does not match any trusted key",
         {}},
        {"replayed lower serial",
         [](TSignedFlow& flow) { flow.sign(flow.keys[0], 4); },
         "Download of configuration failed: serial 4 is lower than 5, already accepted",
         {}},
        {"expired, no saved copy",
         [](TSignedFlow& flow) {
             flow.sign(flow.keys[0], 6, QStringLiteral("2020-01-01T00:00:00Z"));
             QFile::remove(flow.savedCopy());
         },
         "Download of configuration failed: expired at 2020-01-01T00:00:00Z", OutOfDateMessage},
        {"altered saved copy",
         [](TSignedFlow& flow) {
             flow.server.setResponse(TFlowPublisher::MainConfigurationTarget, TTestHttpResponse().status(500));
             appendToFile(flow.savedCopy(), " ");
         },
         "Saved configuration refused: signature refused: signature does not match any trusted key",
         "Quenmar Online is currently down for maintenance."},
        {"altered package document",
         [](TSignedFlow& flow) {
             flow.sign(flow.keys[0], 6);
             appendToFile(flow.published(QStringLiteral("package.json")), " ");
         },
         "Package Quenmar Online refused: the SHA-256 of the package document differs from its pin", RefusedMessage},
        {"altered asset document",
         [](TSignedFlow& flow) {
             flow.sign(flow.keys[0], 6);
             appendToFile(flow.published(QStringLiteral("assets.json")), " ");
         },
         "Package Quenmar Online refused: the SHA-256 of the asset document differs from its pin", RefusedMessage},
    };
    return table;
}

} // namespace

class TestSignedConfiguration : public QObject
{
    Q_OBJECT

private:
    // The signed first launch every scenario starts from: generation 1, serial 5, key 0, expiring at
    // FirstExpiry.
    void installFirstGeneration(TSignedFlow& flow)
    {
        QVERIFY(flow.prepare());
        QVERIFY2(flow.publish(1), qPrintable(flow.publisher.errorText()));
        QVERIFY(flow.sign(flow.keys[0], 5, FirstExpiry));
        const auto result = flow.sandbox.run({QStringLiteral("--first-launch")}, WaitTimeoutMs);
        QVERIFY2(result.finished && result.exitCode == 0, flow.sandbox.readLog().constData());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(flow.reportPath), WaitTimeoutMs);
        QCOMPARE(flow.reportedGeneration(), QStringLiteral("1"));
        QVERIFY(QFile::remove(flow.reportPath));
        QCOMPARE(readFile(flow.savedCopy() + QStringLiteral(".sig")),
                 readFile(flow.publisher.mainConfigurationPath() + QStringLiteral(".sig")));
        QVERIFY(!QFileInfo::exists(flow.savedCopy() + QStringLiteral(".new")));
    }

private slots:
    void tamperedDocumentsAreRefused_data()
    {
        QTest::addColumn<int>("index");
        for (std::size_t i = 0; i < tamperings().size(); ++i)
            QTest::newRow(tamperings()[i].name) << static_cast<int>(i);
    }

    void tamperedDocumentsAreRefused()
    {
        QFETCH(int, index);
        const TTampering& tampering = tamperings()[static_cast<std::size_t>(index)];
        TSignedFlow flow;
        installFirstGeneration(flow);
        if (QTest::currentTestFailed())
            return;
        const auto before = snapshot(flow.installed());
        QVERIFY2(flow.publish(2), qPrintable(flow.publisher.errorText()));
        tampering.apply(flow);

        // The previous run's log would answer the wait before this run has written a line.
        QFile::remove(flow.sandbox.logFilePath());
        QProcess* launcher = flow.sandbox.start();
        const QByteArray outcome = tampering.message.isEmpty() ? QByteArray("startPackageAndExit") : tampering.message;
        QVERIFY2(flow.sandbox.waitForLog(QString::fromUtf8(outcome), WaitTimeoutMs),
                 flow.sandbox.readLog().constData());
        const QByteArray log = flow.sandbox.readLog();
        QVERIFY2(log.contains(tampering.logLine), log.constData());
        if (tampering.message.isEmpty()) {
            QVERIFY(launcher->waitForFinished(WaitTimeoutMs));
            QCOMPARE(launcher->exitCode(), 0);
            QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(flow.reportPath), WaitTimeoutMs);
            QCOMPARE(flow.reportedGeneration(), QStringLiteral("1"));
        } else {
            QVERIFY(!QFileInfo::exists(flow.reportPath));
        }
        launcher->kill();
        launcher->waitForFinished(10000);
        QVERIFY(!log.contains("markPackageAsPartiallyInstalled"));
        QVERIFY(snapshot(flow.installed()) == before);
    }

    // Rotation: a document signed with the second trusted key updates and starts the client.
    void secondTrustedKeyUpdatesTheClient()
    {
        TSignedFlow flow;
        installFirstGeneration(flow);
        if (QTest::currentTestFailed())
            return;
        QVERIFY2(flow.publish(2), qPrintable(flow.publisher.errorText()));
        QVERIFY(flow.sign(flow.keys[1], 6));
        const auto result = flow.sandbox.run({QStringLiteral("--first-launch")}, WaitTimeoutMs);
        QVERIFY2(result.finished && result.exitCode == 0, flow.sandbox.readLog().constData());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(flow.reportPath), WaitTimeoutMs);
        QCOMPARE(flow.reportedGeneration(), QStringLiteral("2"));
        const auto installed = snapshot(flow.installed());
        for (const QString& file : filesBelow(flow.source))
            QVERIFY2(installed.value(file) == readFile(flow.source + QLatin1Char('/') + file), qPrintable(file));
        QVERIFY(!flow.sandbox.readLog().contains("refused"));
    }

    // The publisher's own tool end to end: a key from `quenmar-pack keygen`, a main configuration
    // pinned and signed by `build --sign-key`, trusted by the launcher through the .pub line.
    void documentsSignedByThePublisherToolAreTrusted()
    {
        TSignedFlow flow;
        const QString prefix = flow.scratch.filePath(QStringLiteral("publisher"));
        QCOMPARE(testsupport::runProcess(testsupport::builtTool(QStringLiteral("quenmar-pack")),
                                         {QStringLiteral("keygen"), prefix})
                     .exitCode,
                 0);
        flow.trustedKeys = readFile(prefix + QStringLiteral(".pub")).trimmed();
        QVERIFY(flow.prepare());
        QVERIFY2(flow.publish(1, {QStringLiteral("--sign-key"), prefix + QStringLiteral(".key")}),
                 qPrintable(flow.publisher.errorText()));
        const auto result = flow.sandbox.run({QStringLiteral("--first-launch")}, WaitTimeoutMs);
        QVERIFY2(result.finished && result.exitCode == 0, flow.sandbox.readLog().constData());
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo::exists(flow.reportPath), WaitTimeoutMs);
        QCOMPARE(flow.reportedGeneration(), QStringLiteral("1"));
        QVERIFY(!flow.sandbox.readLog().contains("refused"));
    }
};

QTEST_GUILESS_MAIN(TestSignedConfiguration)
#include "tst_signedconfig.moc"
