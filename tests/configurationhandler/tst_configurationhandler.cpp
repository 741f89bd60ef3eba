// The configuration handler against the in-process test server: main configuration with its
// saved-copy fallback, package and asset documents, hints, nocache tokens.
#include "configuration/TLauncherConfigurationReader.h"
#include "configuration/TPackage.h"
#include "configuration/TPackageBuild.h"
#include "configuration/TPackageConfigurationReader.h"
#include "configurationhandler/TLauncherConfigurationHandler.h"
#include "configurationhandler/TPackageConfigurationCache.h"
#include "network/QNetworkAccessManagerWrapper.h"
#include "network/TDownloadPool.h"
#include "settings/TLauncherFilesystemHelper.h"
#include "support/TLogCapture.h"
#include "support/TTemporaryHome.h"
#include "support/TTestHttpServer.h"
#include "support/TestFiles.h"
#include "support/TestSigningKey.h"
#include "support/TestWaits.h"

#include <QCoreApplication>
#include <QFile>
#include <QNetworkAccessManager>
#include <QRegularExpression>
#include <QSemaphore>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QUrlQuery>
#include <QtConcurrent>
#include <QtTest>

#include <set>

using namespace orvan::launcher;
using testsupport::readFile;
using testsupport::TTestHttpResponse;
using testsupport::TTestHttpServer;
using testsupport::writeFile;

namespace {

const QByteArray packageDocument = R"({"version":"7","files":[{"localfile":"a.bin","unpackedsize":1}]})";
const QByteArray assetDocument = R"({"version":3,"files":[]})";
// Its one object lies next to the document, wherever that is.
const QByteArray relativeDocument = R"({"version":"7","files":[{"localfile":"a.bin","url":"objects/a"}]})";

// Keeps the global thread pool's only thread busy while it lives, so that its queued tasks wait.
class TGlobalPoolHold
{
public:
    TGlobalPoolHold() : m_threads(QThreadPool::globalInstance()->maxThreadCount())
    {
        QThreadPool::globalInstance()->setMaxThreadCount(1);
        m_holder = QtConcurrent::run([this] {
            m_started.release();
            m_gate.acquire();
        });
        m_started.acquire();
    }
    ~TGlobalPoolHold()
    {
        release();
        QThreadPool::globalInstance()->setMaxThreadCount(m_threads);
    }
    TGlobalPoolHold(const TGlobalPoolHold&) = delete;
    TGlobalPoolHold& operator=(const TGlobalPoolHold&) = delete;

    void release()
    {
        if (m_holder.isFinished())
            return;
        m_gate.release();
        m_holder.waitForFinished();
    }

private:
    int m_threads;
    QSemaphore m_started;
    QSemaphore m_gate;
    QFuture<void> m_holder;
};

// A package document listing Count files, the same bytes for the same Tag.
QByteArray documentWithFiles(int count, const QString& tag)
{
    QStringList files;
    for (int i = 0; i < count; ++i)
        files.append(QStringLiteral(R"({"localfile":"%1/%2"})").arg(tag).arg(i));
    return QStringLiteral(R"({"files":[%1]})").arg(files.join(QLatin1Char(','))).toUtf8();
}

} // namespace

class TestConfigurationHandler : public QObject
{
    Q_OBJECT

private:
    // Saved files of the launcher go to a private home, away from parallel runs of this test.
    testsupport::TTemporaryHome m_home;
    std::unique_ptr<TTestHttpServer> m_server;
    QTemporaryDir m_dir;

    std::shared_ptr<TLauncherFilesystemHelper> helper(const QUrl& mainUrl, int errorTimeoutMs = 10000,
                                                      bool nocache = false, const QByteArray& trustedKey = {})
    {
        const QString path = m_dir.filePath(QStringLiteral("launchersettings.ini"));
        writeFile(path, "[URLS]\nlauncherConfiguration=" + mainUrl.toEncoded() +
                            "\nappendNocacheToPackageUrls=" + (nocache ? "true" : "false") +
                            "\n[DIRECTORIES]\npackages=packages\n[FILES]\npackageFile=package.json\n"
                            "partialPackageFile=partial-package.json\nassetFile=assets.json\n"
                            "[TIMING]\ndownloadErrorTimeout=" +
                            QByteArray::number(errorTimeoutMs) + "\n" +
                            (trustedKey.isEmpty() ? QByteArray() : "[SECURITY]\npublicKeys=" + trustedKey + "\n"));
        return std::make_shared<TLauncherFilesystemHelper>(path);
    }

    static std::shared_ptr<::shared::TDownloadPool> pool()
    {
        auto wrapper =
            std::make_shared<::shared::QNetworkAccessManagerWrapper>(std::make_shared<QNetworkAccessManager>());
        return std::make_shared<::shared::TDownloadPool>(6, wrapper, true);
    }

    QByteArray mainDocument(const QString& builds) const
    {
        return QStringLiteral(R"({"hints":"%1","launcher":{"name":"Launcher","builds":[
                {"os":"linux","architecture":"x86_64","url":"launcher/package.json"}]},
            "packages":[%2]})")
            .arg(m_server->url(QStringLiteral("/hints.json")).toString(), builds)
            .toUtf8();
    }

    static QString package(const QString& name, const QString& buildsJson)
    {
        return QStringLiteral(R"({"name":"%1","directoryname":"%1","builds":%2})").arg(name, buildsJson);
    }

    static QString linuxBuild(const QString& url, const QString& assetsUrl = QString())
    {
        const QString assets = assetsUrl.isEmpty() ? QString() : QStringLiteral(R"(,"assetsurl":"%1")").arg(assetsUrl);
        return QStringLiteral(R"([{"os":"linux","architecture":"x86_64","url":"%1"%2}])").arg(url, assets);
    }

    // Serves a main configuration listing Packages at /cfg.json, and the launcher's own document.
    QUrl serveMainConfiguration(const QString& packages)
    {
        m_server->setContent(QStringLiteral("/cfg.json"), mainDocument(packages), "application/json");
        m_server->setContent(QStringLiteral("/launcher/package.json"), R"({"version":"1"})", "application/json");
        return m_server->url(QStringLiteral("/cfg.json"));
    }

    // A handler that has loaded its main configuration; null when it did not.
    static std::unique_ptr<TLauncherConfigurationHandler>
    loadedHandler(std::shared_ptr<::shared::TDownloadPool> downloadPool,
                  std::shared_ptr<TLauncherFilesystemHelper> filesystemHelper)
    {
        auto handler = std::make_unique<TLauncherConfigurationHandler>(downloadPool, filesystemHelper);
        QSignalSpy loaded(handler.get(), &TLauncherConfigurationHandler::mainConfigurationLoaded);
        handler->loadMainConfiguration();
        return loaded.wait() ? std::move(handler) : nullptr;
    }

    static void writeSavedCopy(const TLauncherConfigurationHandler& handler, const QByteArray& data)
    {
        writeFile(handler.savedConfigurationPath(), data);
    }

    static QByteArray savedDocument(const QString& name)
    {
        return QStringLiteral(R"({"packages":[{"name":"%1"}]})").arg(name).toUtf8();
    }

    static QString loadedName(const TLauncherConfigurationHandler& handler)
    {
        return handler.configuration()->packages().at(0)->name();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(QStringLiteral("Brelmor GmbH"));
        QCoreApplication::setApplicationName(QStringLiteral("Quenmar Online Handler Test"));
        qRegisterMetaType<QNetworkReply::NetworkError>();
    }

    void init()
    {
        QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).removeRecursively();
        m_server = std::make_unique<TTestHttpServer>();
    }

    void mainConfigurationIsLoadedAndSaved()
    {
        const QByteArray document = mainDocument(package(QStringLiteral("client"), linuxBuild("client/package.json")));
        m_server->setContent(QStringLiteral("/cfg/brlmetadata.json"), document, "application/json");
        TLauncherConfigurationHandler handler(pool(), helper(m_server->url(QStringLiteral("/cfg/brlmetadata.json"))));
        QSignalSpy loaded(&handler, &TLauncherConfigurationHandler::mainConfigurationLoaded);
        QSignalSpy failed(&handler, &TLauncherConfigurationHandler::mainConfigurationDownloadFailed);
        handler.loadMainConfiguration();
        QVERIFY(loaded.wait());
        QCOMPARE(failed.count(), 0);
        QVERIFY(!handler.isLoadedFromDisk());
        QCOMPARE(handler.configuration()->document(), document);
        QCOMPARE(handler.configuration()->packages().size(), std::size_t(1));
        QCOMPARE(handler.configuration()->packages().at(0)->currentBuild()->url(),
                 m_server->url(QStringLiteral("/cfg/client/package.json")));
        QCOMPARE(readFile(handler.savedConfigurationPath()), document);
        QVERIFY(handler.savedConfigurationPath().endsWith(QStringLiteral("/launchermetadata.json")));
    }

    void notFoundIgnoresTheSavedCopy()
    {
        TLauncherConfigurationHandler handler(pool(), helper(m_server->url(QStringLiteral("/missing.json"))));
        writeSavedCopy(handler, "{}");
        QSignalSpy loaded(&handler, &TLauncherConfigurationHandler::mainConfigurationLoaded);
        QSignalSpy failed(&handler, &TLauncherConfigurationHandler::mainConfigurationDownloadFailed);
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Download of configuration failed:")));
        handler.loadMainConfiguration();
        QVERIFY(failed.wait());
        QCOMPARE(loaded.count(), 0);
        QVERIFY(!handler.configuration());
    }

    void emptyAndBrokenDocumentsFail_data()
    {
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("log");
        QTest::newRow("empty body") << QByteArray()
                                    << QStringLiteral("Download of configuration failed: \"Data stream is empty\"");
        QTest::newRow("not json") << QByteArray("{\"packages\": [") << QString();
        const int tooMany = TLauncherConfigurationReader::MaximumPackageCount + 1;
        QTest::newRow("too many packages")
            << "{\"packages\":[{}" + QByteArray(",{}").repeated(tooMany - 1) + "]}"
            << QStringLiteral("Main configuration lists %1 packages, more than the %2 the launcher handles")
                   .arg(tooMany)
                   .arg(TLauncherConfigurationReader::MaximumPackageCount);
    }

    void emptyAndBrokenDocumentsFail()
    {
        QFETCH(QByteArray, body);
        QFETCH(QString, log);
        m_server->setContent(QStringLiteral("/cfg.json"), body, "application/json");
        TLauncherConfigurationHandler handler(pool(), helper(m_server->url(QStringLiteral("/cfg.json"))));
        QSignalSpy failed(&handler, &TLauncherConfigurationHandler::mainConfigurationDownloadFailed);
        if (!log.isEmpty())
            QTest::ignoreMessage(QtCriticalMsg, qPrintable(log));
        handler.loadMainConfiguration();
        QVERIFY(failed.wait());
        QVERIFY(!handler.configuration());
    }

    void connectionRefusedFallsBackToTheSavedCopy_data()
    {
        QTest::addColumn<bool>("withSavedCopy");
        QTest::newRow("with saved copy") << true;
        QTest::newRow("without saved copy") << false;
    }

    void connectionRefusedFallsBackToTheSavedCopy()
    {
        QFETCH(bool, withSavedCopy);
        const QUrl url = m_server->url(QStringLiteral("/cfg.json"));
        m_server->stop();
        TLauncherConfigurationHandler handler(pool(), helper(url));
        const QByteArray saved = R"({"packages":[{"name":"saved"}]})";
        if (withSavedCopy)
            writeSavedCopy(handler, saved);
        QSignalSpy loaded(&handler, &TLauncherConfigurationHandler::mainConfigurationLoaded);
        QSignalSpy failed(&handler, &TLauncherConfigurationHandler::mainConfigurationDownloadFailed);
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Download of configuration failed:")));
        handler.loadMainConfiguration();
        QTRY_COMPARE(loaded.count() + failed.count(), 1);
        QCOMPARE(loaded.count(), withSavedCopy ? 1 : 0);
        if (withSavedCopy) {
            QVERIFY(handler.isLoadedFromDisk());
            QCOMPARE(handler.configuration()->packages().at(0)->name(), QStringLiteral("saved"));
        }
    }

    void errorTimerWinsAndCancelsTheMainRequest()
    {
        m_server->setResponse(QStringLiteral("/slow.json"),
                              TTestHttpResponse().body(R"({"packages":[{"name":"late"}]})").held());
        auto downloadPool = pool();
        TLauncherConfigurationHandler handler(downloadPool, helper(m_server->url(QStringLiteral("/slow.json")), 50));
        writeSavedCopy(handler, R"({"packages":[{"name":"saved"}]})");
        QSignalSpy loaded(&handler, &TLauncherConfigurationHandler::mainConfigurationLoaded);
        QSignalSpy poolResults(downloadPool.get(), &::shared::TDownloadPool::failed);
        handler.loadMainConfiguration();
        QVERIFY(loaded.wait());
        QVERIFY(handler.isLoadedFromDisk());

        // The request is gone from the pool and its connection closed, without a release.
        QCOMPARE(downloadPool->requestCount(), 0);
        QTRY_COMPARE(m_server->inFlightCount(), 0);
        QCOMPARE(m_server->heldCount(), 0);
        QCOMPARE(poolResults.count(), 0);
        QCOMPARE(loaded.count(), 1);
        QCOMPARE(handler.configuration()->packages().at(0)->name(), QStringLiteral("saved"));
    }

    void endlessMainConfigurationFallsBackToTheSavedCopy()
    {
        m_server->setResponse(QStringLiteral("/cfg.json"), TTestHttpResponse().endless());
        TLauncherConfigurationHandler handler(pool(), helper(m_server->url(QStringLiteral("/cfg.json"))));
        writeSavedCopy(handler, R"({"packages":[{"name":"saved"}]})");
        QSignalSpy loaded(&handler, &TLauncherConfigurationHandler::mainConfigurationLoaded);
        QTest::ignoreMessage(QtCriticalMsg, "Download of configuration failed: \"Response larger than the limit of "
                                            "67108864 bytes\"");
        handler.loadMainConfiguration();
        QVERIFY(loaded.wait(20000));
        QVERIFY(handler.isLoadedFromDisk());
    }

    void corruptSavedCopyIsADiskFailure()
    {
        const QUrl url = m_server->url(QStringLiteral("/cfg.json"));
        m_server->stop();
        TLauncherConfigurationHandler handler(pool(), helper(url));
        writeSavedCopy(handler, "{ corrupt");
        QSignalSpy disk(&handler, &TLauncherConfigurationHandler::diskAccessFailed);
        QSignalSpy loaded(&handler, &TLauncherConfigurationHandler::mainConfigurationLoaded);
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Download of configuration failed:")));
        handler.loadMainConfiguration();
        QVERIFY(disk.wait());
        QVERIFY(!disk.at(0).at(0).toString().isEmpty());
        QCOMPARE(loaded.count(), 0);
    }

    void abandonedMainConfigurationTransfersAreClosed_data()
    {
        QTest::addColumn<TTestHttpResponse>("document");
        QTest::addColumn<bool>("isSigned");
        QTest::addColumn<TTestHttpResponse>("signature");
        QTest::addColumn<int>("errorTimeoutMs");
        const TTestHttpResponse trickle = TTestHttpResponse().body("{").endless().slowBody(1, 20);
        // Rows with a long error timer fall back on the answer itself, never on the timer.
        const int never = 600000;
        QTest::newRow("document trickles past the error timer") << trickle << false << TTestHttpResponse() << 200;
        // Trickling, so that only the declared length can end it.
        QTest::newRow("document declares more than the cap")
            << TTestHttpResponse(trickle).declareLength(qint64(8) << 30) << false << TTestHttpResponse() << never;
        QTest::newRow("signature missing, document trickles")
            << trickle << true << TTestHttpResponse().status(404) << never;
        QTest::newRow("document fails, signature trickles")
            << TTestHttpResponse().status(500) << true << trickle << never;
    }

    void abandonedMainConfigurationTransfersAreClosed()
    {
        QFETCH(TTestHttpResponse, document);
        QFETCH(bool, isSigned);
        QFETCH(TTestHttpResponse, signature);
        QFETCH(int, errorTimeoutMs);
        const testsupport::TTestSigningKey key;
        m_server->setResponse(QStringLiteral("/cfg.json"), document);
        m_server->setResponse(QStringLiteral("/cfg.json.sig"), signature);
        auto downloadPool = pool();
        TLauncherConfigurationHandler handler(downloadPool,
                                              helper(m_server->url(QStringLiteral("/cfg.json")), errorTimeoutMs, false,
                                                     isSigned ? key.publicKeyText() : QByteArray()));
        writeSavedCopy(handler, savedDocument(QStringLiteral("saved")));
        if (isSigned)
            writeFile(handler.savedConfigurationPath() + TLauncherConfigurationHandler::signatureSuffix,
                      key.signatureText(savedDocument(QStringLiteral("saved"))));
        QSignalSpy loaded(&handler, &TLauncherConfigurationHandler::mainConfigurationLoaded);
        const testsupport::TLogCapture quiet(testsupport::TLogCapture::EForwarding::Nothing);
        handler.loadMainConfiguration();
        QVERIFY(loaded.wait(20000));
        QVERIFY(handler.isLoadedFromDisk());
        // A trickle or an endless body is never answered in full: it leaves the server's in-flight
        // count only when the client closes the connection.
        QTRY_COMPARE(m_server->inFlightCount(), 0);
        QCOMPARE(downloadPool->requestCount(), 0);
        QCOMPARE(loaded.count(), 1);
    }

    // A save of a signed copy cut short at each step leaves a pair that verifies; one whose
    // document and signature do not belong together is refused.
    void interruptedSaveLeavesAVerifyingCopy_data()
    {
        QTest::addColumn<QString>("document"); // names of the saved documents; empty: no file
        QTest::addColumn<QString>("pending");
        QTest::addColumn<QString>("signedDocument");
        QTest::addColumn<QString>("loaded"); // empty: refused
        QTest::newRow("saved pair") << "old" << QString() << "old"
                                    << "old";
        QTest::newRow("new document written") << "old"
                                              << "new"
                                              << "old"
                                              << "old";
        QTest::newRow("new signature written") << "old"
                                               << "new"
                                               << "new"
                                               << "new";
        QTest::newRow("first save, new signature written") << QString() << "new"
                                                           << "new"
                                                           << "new";
        QTest::newRow("document new, signature old") << "new" << QString() << "old" << QString();
    }

    void interruptedSaveLeavesAVerifyingCopy()
    {
        QFETCH(QString, document);
        QFETCH(QString, pending);
        QFETCH(QString, signedDocument);
        QFETCH(QString, loaded);
        const testsupport::TTestSigningKey key;
        const QUrl url = m_server->url(QStringLiteral("/cfg.json"));
        m_server->stop();
        TLauncherConfigurationHandler handler(pool(), helper(url, 10000, false, key.publicKeyText()));
        const QString path = handler.savedConfigurationPath();
        if (!document.isEmpty())
            writeFile(path, savedDocument(document));
        if (!pending.isEmpty())
            writeFile(path + TLauncherConfigurationHandler::pendingSuffix, savedDocument(pending));
        writeFile(path + TLauncherConfigurationHandler::signatureSuffix,
                  key.signatureText(savedDocument(signedDocument)));
        QSignalSpy loadedSpy(&handler, &TLauncherConfigurationHandler::mainConfigurationLoaded);
        QSignalSpy failed(&handler, &TLauncherConfigurationHandler::mainConfigurationDownloadFailed);
        const testsupport::TLogCapture log(testsupport::TLogCapture::EForwarding::Nothing);
        handler.loadMainConfiguration();
        QTRY_COMPARE(loadedSpy.count() + failed.count(), 1);
        QCOMPARE(loadedSpy.count(), loaded.isEmpty() ? 0 : 1);
        if (loaded.isEmpty())
            QCOMPARE(log.countContaining(QStringLiteral("Saved configuration refused: signature refused:")), 1);
        else
            QCOMPARE(loadedName(handler), loaded);
    }

    // Without trusted keys nothing is verified; a document or a saved copy from a signed
    // deployment makes that worth a warning.
    void unsignedLauncherWarnsOnSignedDeployments_data()
    {
        QTest::addColumn<QByteArray>("document");
        QTest::addColumn<bool>("savedSignature");
        QTest::addColumn<int>("warnings");
        QTest::newRow("unsigned deployment") << QByteArray(R"({"packages":[]})") << false << 0;
        QTest::newRow("serial") << QByteArray(R"({"serial":3})") << false << 1;
        QTest::newRow("saved signature") << QByteArray(R"({"packages":[]})") << true << 1;
    }

    void unsignedLauncherWarnsOnSignedDeployments()
    {
        QFETCH(QByteArray, document);
        QFETCH(bool, savedSignature);
        QFETCH(int, warnings);
        m_server->setContent(QStringLiteral("/cfg.json"), document, "application/json");
        TLauncherConfigurationHandler handler(pool(), helper(m_server->url(QStringLiteral("/cfg.json"))));
        if (savedSignature)
            writeFile(handler.savedConfigurationPath() + TLauncherConfigurationHandler::signatureSuffix, "c2lnbmVk\n");
        QSignalSpy loaded(&handler, &TLauncherConfigurationHandler::mainConfigurationLoaded);
        const testsupport::TLogCapture log;
        handler.loadMainConfiguration();
        QVERIFY(loaded.wait());
        QCOMPARE(log.count(QStringLiteral("Warning: Signature of the main configuration not checked: .*")), warnings);
    }

    void packageDocumentsAreAttachedToTheirBuilds()
    {
        const QString builds =
            package(QStringLiteral("one"), linuxBuild("shared/package.json", "one/assets.json")) + "," +
            package(QStringLiteral("two"), linuxBuild("shared/package.json")) + "," +
            package(QStringLiteral("windows-only"), R"([{"os":"windows","architecture":"x86_64","url":"win.json"}])");
        m_server->setContent(QStringLiteral("/cfg.json"), mainDocument(builds), "application/json");
        m_server->setContent(QStringLiteral("/shared/package.json"), packageDocument, "application/json");
        m_server->setContent(QStringLiteral("/one/assets.json"), assetDocument, "application/json");
        m_server->setContent(QStringLiteral("/launcher/package.json"), R"({"version":"0.0.14"})", "application/json");
        TLauncherConfigurationHandler handler(pool(), helper(m_server->url(QStringLiteral("/cfg.json"))));
        QSignalSpy loaded(&handler, &TLauncherConfigurationHandler::mainConfigurationLoaded);
        QSignalSpy finished(&handler, &TLauncherConfigurationHandler::packageConfigurationDownloadsFinished);
        handler.loadMainConfiguration();
        QVERIFY(loaded.wait());
        handler.requestPackageConfigurations();
        QVERIFY(finished.wait());
        // Nothing marks the absence of a second report; watch for one for a moment.
        QVERIFY(testsupport::holdsFor([&] { return finished.count() == 1; }, 50));

        const auto& packages = handler.configuration()->packages();
        const auto one = packages.at(0)->currentConfiguration();
        const auto two = packages.at(1)->currentConfiguration();
        QVERIFY(one && two);
        QCOMPARE(one->packageDocument(), packageDocument);
        QCOMPARE(one->assetDocument(), assetDocument);
        QCOMPARE(one->assetsVersion(), QStringLiteral("3"));
        QCOMPARE(two->packageDocument(), packageDocument);
        QVERIFY(two->assetDocument().isEmpty());
        QCOMPARE(one->packageBaseUrl(), m_server->url(QStringLiteral("/shared/")));
        QVERIFY(!packages.at(2)->currentConfiguration());
        QCOMPARE(handler.configuration()->launcherPackage()->currentConfiguration()->version(),
                 QStringLiteral("0.0.14"));
        QCOMPARE(m_server->requestCount(QStringLiteral("/shared/package.json")), 1);
    }

    void identicalDocumentsShareOneReader_data()
    {
        QTest::addColumn<bool>("nocache");
        QTest::addColumn<bool>("ownFolders");
        QTest::newRow("one URL") << false << false;
        // Every build fetches its own copy, under another query.
        QTest::newRow("nocache copies") << true << false;
        // The same bytes name other objects below another folder: nothing to share.
        QTest::newRow("own folders") << false << true;
    }

    void identicalDocumentsShareOneReader()
    {
        QFETCH(bool, nocache);
        QFETCH(bool, ownFolders);
        constexpr int packageCount = 20;
        QStringList packages;
        for (int i = 0; i < packageCount; ++i) {
            const QString folder = ownFolders ? QStringLiteral("p%1").arg(i) : QStringLiteral("same");
            packages.append(package(QStringLiteral("client%1").arg(i), linuxBuild(folder + "/package.json")));
            m_server->setContent("/" + folder + "/package.json", relativeDocument, "application/json");
        }
        const auto handler =
            loadedHandler(pool(), helper(serveMainConfiguration(packages.join(QLatin1Char(','))), 10000, nocache));
        QVERIFY(handler);
        QSignalSpy finished(handler.get(), &TLauncherConfigurationHandler::packageConfigurationDownloadsFinished);
        handler->requestPackageConfigurations();
        QVERIFY(finished.wait());

        std::set<const TPackageConfigurationReader*> readers;
        for (const auto& client : handler->configuration()->packages()) {
            const auto configuration = client->currentConfiguration();
            QVERIFY(configuration);
            readers.insert(configuration.get());
            const QUrl folder = client->currentBuild()->location();
            QCOMPARE(configuration->files().at(0).download.url, folder.resolved(QUrl(QStringLiteral("objects/a"))));
        }
        QCOMPARE(readers.size(), std::size_t(ownFolders ? packageCount : 1));
    }

    void failedPackageDocumentKeepsTheOldConfiguration_data()
    {
        QTest::addColumn<bool>("localFile");
        QTest::newRow("missing on the server") << false;
        // A server-given local file URL is not read, even when the file exists and is valid.
        QTest::newRow("local file URL") << true;
    }

    void failedPackageDocumentKeepsTheOldConfiguration()
    {
        QFETCH(bool, localFile);
        const QString localDocument = m_dir.filePath(QStringLiteral("local-package.json"));
        writeFile(localDocument, packageDocument);
        const QString url = localFile ? QUrl::fromLocalFile(localDocument).toString() : QStringLiteral("gone.json");
        m_server->setContent(QStringLiteral("/cfg.json"), mainDocument(package(QStringLiteral("one"), linuxBuild(url))),
                             "application/json");
        m_server->setContent(QStringLiteral("/launcher/package.json"), R"({"version":"1"})", "application/json");
        TLauncherConfigurationHandler handler(pool(), helper(m_server->url(QStringLiteral("/cfg.json"))));
        QSignalSpy loaded(&handler, &TLauncherConfigurationHandler::mainConfigurationLoaded);
        QSignalSpy finished(&handler, &TLauncherConfigurationHandler::packageConfigurationDownloadsFinished);
        handler.loadMainConfiguration();
        QVERIFY(loaded.wait());
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral(
                                                "^Download of package configuration/asset from configuration")));
        handler.requestPackageConfigurations();
        QTRY_COMPARE(finished.count(), 1);
        QVERIFY(!handler.configuration()->packages().at(0)->currentConfiguration());
    }

    void noCurrentBuildFinishesAtOnce()
    {
        m_server->setContent(QStringLiteral("/cfg.json"), R"({"packages":[{"name":"none"}]})", "application/json");
        TLauncherConfigurationHandler handler(pool(), helper(m_server->url(QStringLiteral("/cfg.json"))));
        QSignalSpy loaded(&handler, &TLauncherConfigurationHandler::mainConfigurationLoaded);
        QSignalSpy finished(&handler, &TLauncherConfigurationHandler::packageConfigurationDownloadsFinished);
        handler.loadMainConfiguration();
        QVERIFY(loaded.wait());
        handler.requestPackageConfigurations();
        QCOMPARE(finished.count(), 1);
    }

    void savedCopyReadsInstalledDocuments()
    {
        const QUrl url = m_server->url(QStringLiteral("/cfg.json"));
        m_server->stop();
        auto paths = helper(url);
        TLauncherConfigurationHandler handler(pool(), paths);
        writeSavedCopy(handler, mainDocument(package(QStringLiteral("client"), linuxBuild("client/package.json"))));
        paths->writeFileCreatingFolder(paths->packagesDirectory().filePath(QStringLiteral("client/package.json")),
                                       packageDocument);
        QSignalSpy loaded(&handler, &TLauncherConfigurationHandler::mainConfigurationLoaded);
        QSignalSpy finished(&handler, &TLauncherConfigurationHandler::packageConfigurationDownloadsFinished);
        QTest::ignoreMessage(QtCriticalMsg, QRegularExpression(QStringLiteral("^Download of configuration failed:")));
        handler.loadMainConfiguration();
        QVERIFY(loaded.wait());
        handler.requestPackageConfigurations();
        QVERIFY(finished.wait());
        // Installed without an asset document: the package document alone describes it.
        const auto withoutAssets = handler.configuration()->packages().at(0)->currentConfiguration();
        QVERIFY(withoutAssets);
        QCOMPARE(withoutAssets->version(), QStringLiteral("7"));
        QVERIFY(withoutAssets->assetsVersion().isEmpty());

        paths->writeFileCreatingFolder(paths->packagesDirectory().filePath(QStringLiteral("client/assets.json")),
                                       assetDocument);
        handler.requestPackageConfigurations();
        QVERIFY(finished.wait());
        const auto installed = handler.configuration()->packages().at(0)->currentConfiguration();
        QVERIFY(installed);
        QCOMPARE(installed->version(), QStringLiteral("7"));
        QCOMPARE(installed->assetsVersion(), QStringLiteral("3"));

        // A document that went missing fails its entry; the build keeps what it had.
        QVERIFY(QFile::remove(paths->packagesDirectory().filePath(QStringLiteral("client/package.json"))));
        QTest::ignoreMessage(QtCriticalMsg,
                             QRegularExpression(QStringLiteral("^Download of package configuration/asset from "
                                                               "configuration .* failed: \"Error opening .*")));
        handler.requestPackageConfigurations();
        QVERIFY(finished.wait());
        QCOMPARE(handler.configuration()->packages().at(0)->currentConfiguration(), installed);
    }

    void nocacheGoesOnPackageUrlsOnly()
    {
        m_server->setContent(QStringLiteral("/cfg.json"),
                             mainDocument(package(QStringLiteral("one"), linuxBuild("p.json?tag=1"))),
                             "application/json");
        m_server->setContent(QStringLiteral("/p.json"), packageDocument, "application/json");
        m_server->setContent(QStringLiteral("/launcher/package.json"), R"({"version":"1"})", "application/json");
        TLauncherConfigurationHandler handler(pool(), helper(m_server->url(QStringLiteral("/cfg.json")), 10000, true));
        QSignalSpy loaded(&handler, &TLauncherConfigurationHandler::mainConfigurationLoaded);
        QSignalSpy finished(&handler, &TLauncherConfigurationHandler::packageConfigurationDownloadsFinished);
        handler.loadMainConfiguration();
        QVERIFY(loaded.wait());
        handler.requestPackageConfigurations();
        QVERIFY(finished.wait());
        QCOMPARE(m_server->requests(QStringLiteral("/cfg.json")).first().target, QStringLiteral("/cfg.json"));
        const QString target = m_server->requests(QStringLiteral("/p.json")).first().target;
        const QUrlQuery query(QUrl(target).query());
        QVERIFY2(QRegularExpression(QStringLiteral("^[A-Za-z0-9]{32}$"))
                     .match(query.queryItemValue(QStringLiteral("nocache")))
                     .hasMatch(),
                 qPrintable(target));
        const QUrl absolute(QStringLiteral("http://example.invalid/x.json?keep=yes"));
        const QUrlQuery kept(handler.withNocacheToken(absolute).query());
        QCOMPARE(kept.queryItemValue(QStringLiteral("keep")), QStringLiteral("yes"));
        QCOMPARE(kept.queryItems().size(), 2);
        QVERIFY(kept.queryItems().at(1).first == QLatin1String("nocache"));
    }

    void parsingLeavesTheEventLoopRunning()
    {
        m_server->setContent(QStringLiteral("/client/package.json"), packageDocument, "application/json");
        auto downloadPool = pool();
        const auto handler = loadedHandler(
            downloadPool,
            helper(serveMainConfiguration(package(QStringLiteral("client"), linuxBuild("client/package.json")))));
        QVERIFY(handler);
        QSignalSpy finished(handler.get(), &TLauncherConfigurationHandler::packageConfigurationDownloadsFinished);
        QSignalSpy arrived(downloadPool.get(), &::shared::TDownloadPool::success);

        // The parse can't start while the pool is held: it lasts until the test lets it go.
        TGlobalPoolHold hold;
        int ticks = 0;
        int ticksAtArrival = -1;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, &ticker, [&ticks] { ++ticks; });
        connect(downloadPool.get(), &::shared::TDownloadPool::success, &ticker,
                [&ticks, &ticksAtArrival] { ticksAtArrival = ticks; });
        ticker.start(0);
        handler->requestPackageConfigurations();
        QTRY_COMPARE(arrived.count(), 2);
        QTRY_VERIFY(ticks > ticksAtArrival);
        QCOMPARE(finished.count(), 0);
        QVERIFY(!handler->configuration()->packages().at(0)->currentConfiguration());

        hold.release();
        QVERIFY(finished.wait());
        QCOMPARE(handler->configuration()->packages().at(0)->currentConfiguration()->version(), QStringLiteral("7"));
    }

    void recordsAreCappedOverDistinctDocuments_data()
    {
        QTest::addColumn<int>("cap");
        QTest::addColumn<QList<int>>("fileCounts");
        // Documents of the same tag (and size) are byte for byte the same.
        QTest::addColumn<QStringList>("tags");
        QTest::addColumn<QList<bool>>("accepted");
        QTest::newRow("fits exactly") << 10 << QList<int>{4, 6} << QStringList{"a", "b"} << QList<bool>{true, true};
        QTest::newRow("third passes the sum")
            << 10 << QList<int>{4, 4, 4} << QStringList{"a", "b", "c"} << QList<bool>{true, true, false};
        QTest::newRow("copies count once")
            << 10 << QList<int>{4, 4, 4, 2} << QStringList{"a", "a", "a", "b"} << QList<bool>{true, true, true, true};
        QTest::newRow("a refused document leaves room for a smaller one")
            << 10 << QList<int>{6, 5, 4} << QStringList{"a", "b", "c"} << QList<bool>{true, false, true};
    }

    void recordsAreCappedOverDistinctDocuments()
    {
        QFETCH(int, cap);
        QFETCH(QList<int>, fileCounts);
        QFETCH(QStringList, tags);
        QFETCH(QList<bool>, accepted);
        TPackageConfigurationCache cache(cap);
        const QUrl base(QStringLiteral("http://127.0.0.1/pkg/"));
        // Held as builds hold them: a reader let go of no longer counts.
        std::vector<std::shared_ptr<const TPackageConfigurationReader>> held;
        std::set<const TPackageConfigurationReader*> distinct;
        for (int i = 0; i < fileCounts.size(); ++i) {
            if (!accepted.at(i))
                QTest::ignoreMessage(QtCriticalMsg,
                                     QRegularExpression(QStringLiteral("^JSON package configuration lists %1 files and "
                                                                       "chunks, more than the \\d+ left of what")
                                                            .arg(fileCounts.at(i))));
            const TPackageConfigurationCache::TDocuments documents{documentWithFiles(fileCounts.at(i), tags.at(i)),
                                                                   QByteArray(), base, QUrl()};
            const TPackageConfigurationCache::TResult result =
                TPackageConfigurationCache::obtain(documents, cache.snapshot());
            cache.remember(result);
            QCOMPARE(result.reader->isValid(), accepted.at(i));
            held.push_back(result.reader);
            distinct.insert(result.reader.get());
        }
        QCOMPARE(distinct.size(), std::size_t(QSet<QString>(tags.begin(), tags.end()).size()));
    }

    void hintsAreParsedAndChosen()
    {
        m_server->setContent(QStringLiteral("/cfg.json"), mainDocument(QString()), "application/json");
        m_server->setContent(QStringLiteral("/hints.json"),
                             R"([{"title":"off","richText":"<p>never</p>","emergency":false},
                                 {"title":"news","richText":"<p>news</p>"}])",
                             "application/json");
        auto downloadPool = pool();
        TLauncherConfigurationHandler handler(downloadPool, helper(m_server->url(QStringLiteral("/cfg.json"))));
        QSignalSpy loaded(&handler, &TLauncherConfigurationHandler::mainConfigurationLoaded);
        QSignalSpy hint(&handler, &TLauncherConfigurationHandler::hintAreaDataReceived);
        QSignalSpy hints(&handler, &TLauncherConfigurationHandler::hintsAreaDataReceived);
        handler.loadMainConfiguration();
        QVERIFY(loaded.wait());
        downloadPool->addRequest(handler.configuration()->hintsUrl());
        QVERIFY(hints.wait());
        QCOMPARE(hint.count(), 1);
        QCOMPARE(handler.currentHint().title, QStringLiteral("news"));
        QCOMPARE(handler.hints().size(), std::size_t(2));
    }
};

QTEST_GUILESS_MAIN(TestConfigurationHandler)
#include "tst_configurationhandler.moc"
