#include "jsonupload/TJsonDocumentHttpPostSender.h"
#include "jsonupload/TJsonDocumentUploaderBase.h"
#include "support/TTestHttpServer.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QJsonParseError>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using shared::TJsonDocumentHttpPostSender;
using shared::TJsonDocumentUploaderBase;
using testsupport::TTestHttpResponse;
using testsupport::TTestHttpServer;

namespace {

QJsonDocument sampleDocument()
{
    QJsonObject object;
    object.insert(QStringLiteral("dataType"), 0);
    object.insert(QStringLiteral("name"), QStringLiteral("Ä value with \"quotes\""));
    object.insert(QStringLiteral("list"), QJsonArray{1, 2, 3});
    return QJsonDocument(object);
}

struct TUploadResult
{
    bool successful = false;
    QJsonDocument reply;
};

/// Uploads the sample document to path and waits for the uploader's verdict.
TUploadResult uploadAndWait(TJsonDocumentUploaderBase& uploader, const QUrl& url)
{
    QSignalSpy finishedSpy(&uploader, &TJsonDocumentUploaderBase::finished);
    uploader.upload(url, sampleDocument());
    if (finishedSpy.isEmpty() && !finishedSpy.wait(20000)) {
        return {};
    }
    TUploadResult result;
    result.successful = finishedSpy.at(0).at(0).toBool();
    result.reply = finishedSpy.at(0).at(1).value<QJsonDocument>();
    return result;
}

QString parseErrorOf(const QByteArray& answer)
{
    QJsonParseError error;
    QJsonDocument::fromJson(answer, &error);
    return error.errorString();
}

} // namespace

class TJsonUploadTest : public QObject
{
    Q_OBJECT

private slots:
    void postsCompactDocumentWithHeaders();
    void senderCanPostIndentedWithoutDisposition();

    void answerDecidesOutcome_data();
    void answerDecidesOutcome();
    void httpErrorFailsWithQtText_data();
    void httpErrorFailsWithQtText();
    void refusedConnectionFails();
    void brokenAnswerFailsWithItsReason_data();
    void brokenAnswerFailsWithItsReason();
    void successAfterFailureClearsError();
    void uploaderWithoutSenderFails();
    void destroyingSenderWithPendingPostIsSafe();
};

void TJsonUploadTest::postsCompactDocumentWithHeaders()
{
    TTestHttpServer server;
    server.setContent(QStringLiteral("/survey"), "{}", "application/json");
    TJsonDocumentUploaderBase uploader(std::make_shared<TJsonDocumentHttpPostSender>());

    const TUploadResult result = uploadAndWait(uploader, server.url(QStringLiteral("/survey")));
    QVERIFY(result.successful);

    QCOMPARE(server.requestCount(QStringLiteral("/survey")), 1);
    const testsupport::TTestHttpRequest request = server.requests().first();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
    QCOMPARE(request.header("Content-Disposition"), QByteArray("form-data; name=\"metadata\""));
    QCOMPARE(request.body, sampleDocument().toJson(QJsonDocument::Compact));
    QVERIFY(!request.body.contains('\n'));
}

void TJsonUploadTest::senderCanPostIndentedWithoutDisposition()
{
    TTestHttpServer server;
    server.setContent(QStringLiteral("/funnel"), "ok");
    TJsonDocumentHttpPostSender sender;
    sender.setJsonFormat(QJsonDocument::Indented);
    sender.setContentDisposition({});
    QSignalSpy finishedSpy(&sender, &TJsonDocumentHttpPostSender::finished);

    sender.send(server.url(QStringLiteral("/funnel")), sampleDocument());
    QVERIFY(finishedSpy.wait(20000));

    const testsupport::TTestHttpRequest request = server.requests().first();
    QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
    QVERIFY(!request.hasHeader("Content-Disposition"));
    QCOMPARE(request.body, sampleDocument().toJson(QJsonDocument::Indented));
}

void TJsonUploadTest::answerDecidesOutcome_data()
{
    QTest::addColumn<QByteArray>("answer");
    QTest::addColumn<bool>("successful");
    QTest::addColumn<int>("errorCode");
    QTest::addColumn<QString>("errorMessage");
    QTest::addColumn<bool>("replyHandedOver");

    QTest::newRow("empty body") << QByteArray() << false << -100 << parseErrorOf(QByteArray()) << false;
    QTest::newRow("not json") << QByteArray("<html>") << false << -100 << parseErrorOf("<html>") << false;
    QTest::newRow("truncated json") << QByteArray("{\"errorCode\": 0") << false << -100
                                    << parseErrorOf("{\"errorCode\": 0") << false;
    QTest::newRow("server error code") << QByteArray(R"({"errorCode": 3, "errorMessage": "Survey rejected"})") << false
                                       << 3 << QStringLiteral("Survey rejected") << true;
    QTest::newRow("negative server code") << QByteArray(R"({"errorCode": -7})") << false << -7 << QString() << true;
    QTest::newRow("error code zero") << QByteArray(R"({"errorCode": 0, "errorMessage": "ignored"})") << true << 0
                                     << QString() << true;
    QTest::newRow("no error code") << QByteArray(R"({"stored": true})") << true << 0 << QString() << true;
    QTest::newRow("array answer") << QByteArray(R"([{"errorCode": 5}])") << true << 0 << QString() << true;
}

void TJsonUploadTest::answerDecidesOutcome()
{
    QFETCH(QByteArray, answer);
    QFETCH(bool, successful);
    QFETCH(int, errorCode);
    QFETCH(QString, errorMessage);
    QFETCH(bool, replyHandedOver);

    TTestHttpServer server;
    server.setContent(QStringLiteral("/upload"), answer, "application/json");
    TJsonDocumentUploaderBase uploader(std::make_shared<TJsonDocumentHttpPostSender>());

    const TUploadResult result = uploadAndWait(uploader, server.url(QStringLiteral("/upload")));
    QCOMPARE(result.successful, successful);
    QCOMPARE(uploader.errorCode(), errorCode);
    QCOMPARE(uploader.errorMessage(), errorMessage);
    if (successful) {
        QVERIFY(uploader.errorMessage().isNull());
    }
    if (replyHandedOver) {
        QCOMPARE(result.reply, QJsonDocument::fromJson(answer));
    } else {
        QVERIFY(result.reply.isNull());
    }
}

void TJsonUploadTest::httpErrorFailsWithQtText_data()
{
    QTest::addColumn<int>("status");
    QTest::newRow("404") << 404;
    QTest::newRow("500") << 500;
    QTest::newRow("503") << 503;
}

void TJsonUploadTest::httpErrorFailsWithQtText()
{
    QFETCH(int, status);
    TTestHttpServer server;
    // A JSON body that would count as success must not rescue an HTTP error.
    server.setResponse(QStringLiteral("/upload"), TTestHttpResponse().status(status).body("{}", "application/json"));
    auto sender = std::make_shared<TJsonDocumentHttpPostSender>();
    TJsonDocumentUploaderBase uploader(sender);
    QSignalSpy rawSpy(sender.get(), &TJsonDocumentHttpPostSender::finished);

    const TUploadResult result = uploadAndWait(uploader, server.url(QStringLiteral("/upload")));
    QVERIFY(!result.successful);
    QVERIFY(result.reply.isNull());
    QCOMPARE(uploader.errorCode(), 0);
    QCOMPARE(rawSpy.count(), 1);
    QCOMPARE(uploader.errorMessage(), rawSpy.at(0).at(1).toString());
    QVERIFY(!uploader.errorMessage().isEmpty());
}

void TJsonUploadTest::refusedConnectionFails()
{
    TTestHttpServer server;
    const QUrl url = server.url(QStringLiteral("/upload"));
    server.stop();
    TJsonDocumentUploaderBase uploader(std::make_shared<TJsonDocumentHttpPostSender>());

    const TUploadResult result = uploadAndWait(uploader, url);
    QVERIFY(!result.successful);
    QVERIFY(result.reply.isNull());
    QCOMPARE(uploader.errorCode(), 0);
    QVERIFY(!uploader.errorMessage().isEmpty());
}

void TJsonUploadTest::brokenAnswerFailsWithItsReason_data()
{
    QTest::addColumn<TTestHttpResponse>("response");
    QTest::addColumn<QNetworkReply::NetworkError>("code");
    QTest::addColumn<QString>("reason"); // empty: Qt's own text
    const QString tooLarge = QStringLiteral("Response larger than the limit of 1000 bytes");
    QTest::newRow("stalled") << TTestHttpResponse().body("{\"errorCode\": 0}").stall()
                             << QNetworkReply::OperationCanceledError << QString();
    QTest::newRow("endless") << TTestHttpResponse().endless() << QNetworkReply::UnknownContentError << tooLarge;
    QTest::newRow("huge declared length") << TTestHttpResponse().body("{}").declareLength(Q_INT64_C(1) << 40)
                                          << QNetworkReply::UnknownContentError << tooLarge;
}

void TJsonUploadTest::brokenAnswerFailsWithItsReason()
{
    QFETCH(TTestHttpResponse, response);
    QFETCH(QNetworkReply::NetworkError, code);
    QFETCH(QString, reason);
    TTestHttpServer server;
    server.setResponse(QStringLiteral("/upload"), response);
    auto sender = std::make_shared<TJsonDocumentHttpPostSender>();
    QCOMPARE(sender->maxAnswerBytes(), TJsonDocumentHttpPostSender::DefaultMaxAnswerBytes);
    sender->setTransferTimeout(300);
    sender->setMaxAnswerBytes(1000);
    TJsonDocumentUploaderBase uploader(sender);
    QSignalSpy rawSpy(sender.get(), &TJsonDocumentHttpPostSender::finished);

    const TUploadResult result = uploadAndWait(uploader, server.url(QStringLiteral("/upload")));
    QVERIFY(!result.successful);
    QCOMPARE(rawSpy.count(), 1);
    QCOMPARE(rawSpy.at(0).at(0).value<QNetworkReply::NetworkError>(), code);
    QVERIFY(rawSpy.at(0).at(2).toByteArray().isEmpty());
    QVERIFY(!uploader.errorMessage().isEmpty());
    if (!reason.isEmpty())
        QCOMPARE(uploader.errorMessage(), reason);
}

void TJsonUploadTest::successAfterFailureClearsError()
{
    TTestHttpServer server;
    server.setContent(QStringLiteral("/bad"), R"({"errorCode": 12, "errorMessage": "Try later"})");
    server.setContent(QStringLiteral("/good"), R"({"errorCode": 0})");
    TJsonDocumentUploaderBase uploader(std::make_shared<TJsonDocumentHttpPostSender>());
    QVERIFY(uploader.errorMessage().isNull());
    QCOMPARE(uploader.errorCode(), 0);

    QVERIFY(!uploadAndWait(uploader, server.url(QStringLiteral("/bad"))).successful);
    QCOMPARE(uploader.errorCode(), 12);
    QCOMPARE(uploader.errorMessage(), QStringLiteral("Try later"));

    QVERIFY(uploadAndWait(uploader, server.url(QStringLiteral("/good"))).successful);
    QCOMPARE(uploader.errorCode(), 0);
    QVERIFY(uploader.errorMessage().isNull());
}

void TJsonUploadTest::uploaderWithoutSenderFails()
{
    TJsonDocumentUploaderBase uploader(nullptr);
    const TUploadResult result = uploadAndWait(uploader, QUrl(QStringLiteral("http://127.0.0.1:1/x")));
    QVERIFY(!result.successful);
    QVERIFY(!uploader.errorMessage().isEmpty());
}

void TJsonUploadTest::destroyingSenderWithPendingPostIsSafe()
{
    TTestHttpServer server;
    server.setResponse(QStringLiteral("/upload"), TTestHttpResponse().body("{}").held());
    bool answered = false;
    {
        auto uploader = std::make_unique<TJsonDocumentUploaderBase>(std::make_shared<TJsonDocumentHttpPostSender>());
        connect(uploader.get(), &TJsonDocumentUploaderBase::finished, this, [&answered] { answered = true; });
        uploader->upload(server.url(QStringLiteral("/upload")), sampleDocument());
        QTRY_COMPARE(server.heldCount(QStringLiteral("/upload")), 1);
    }
    QCOMPARE(server.releaseHeld(), 1);
    QTRY_COMPARE(server.openConnectionCount(), 0);
    QVERIFY(!answered);
}

QTEST_GUILESS_MAIN(TJsonUploadTest)

#include "tst_jsonupload.moc"
