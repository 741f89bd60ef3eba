#include "support/TTestHttpServer.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using testsupport::TTestHttpRequest;
using testsupport::TTestHttpResponse;
using testsupport::TTestHttpServer;

namespace {

struct TFetched
{
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    int status = 0;
    QByteArray body;
    QByteArray contentType;
    QByteArray header;
};

/// Runs one request to completion; headerName picks a response header to keep.
TFetched fetch(QNetworkAccessManager& manager, const QString& method, const QUrl& url, const QByteArray& body = {},
               const QByteArray& headerName = {})
{
    QNetworkRequest request(url);
    if (method == "POST") {
        request.setHeader(QNetworkRequest::ContentTypeHeader, "application/json");
    }
    std::unique_ptr<QNetworkReply> reply(method == "POST"   ? manager.post(request, body)
                                         : method == "HEAD" ? manager.head(request)
                                                            : manager.get(request));
    QSignalSpy finished(reply.get(), &QNetworkReply::finished);
    if (!finished.wait(10000)) {
        return {};
    }
    return {reply->error(), reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(),
            reply->header(QNetworkRequest::ContentTypeHeader).toByteArray(), reply->rawHeader(headerName)};
}

/// Writes raw bytes to the server and reads until the connection closes.
QByteArray rawExchange(TTestHttpServer& server, const QList<QByteArray>& pieces)
{
    QTcpSocket socket;
    socket.connectToHost(QHostAddress::LocalHost, server.port());
    if (!socket.waitForConnected(5000)) {
        return {};
    }
    qint64 sent = server.receivedByteCount();
    for (const QByteArray& piece : pieces) {
        socket.write(piece);
        sent += piece.size();
        // The server reads each piece on its own before the next one goes out.
        if (!QTest::qWaitFor([&] { return server.receivedByteCount() >= sent; }, 10000)) {
            return {};
        }
    }
    QByteArray received;
    const bool closed = QTest::qWaitFor(
        [&] {
            received += socket.readAll();
            return socket.state() == QAbstractSocket::UnconnectedState;
        },
        10000);
    return closed ? received + socket.readAll() : QByteArray();
}

} // namespace

class TTestHttpServerTest : public QObject
{
    Q_OBJECT

private slots:
    void servesCannedResponseAndLogsRequest();
    void capturesPostBody();
    void reusesKeepAliveConnection();
    void parsesRequestsInPiecesAndPipelined();
    void servesDocumentRootButNothingOutsideIt();
    void streamsLargeFileIntact();
    void failsFirstRequestsThenServes();
    void holdsResponsesUntilReleased();
    void restartsOnSamePortAfterStop();
};

void TTestHttpServerTest::servesCannedResponseAndLogsRequest()
{
    TTestHttpServer server;
    server.setResponse("/doc", TTestHttpResponse().status(201).body("hello", "text/plain").header("X-Test", "yes"));
    QSignalSpy received(&server, &TTestHttpServer::requestReceived);
    QNetworkAccessManager manager;

    const TFetched got = fetch(manager, "GET", server.url("/doc?x=1"), {}, "X-Test");

    QCOMPARE(got.status, 201);
    QCOMPARE(got.body, QByteArray("hello"));
    QCOMPARE(got.contentType, QByteArray("text/plain"));
    QCOMPARE(got.header, QByteArray("yes"));
    QCOMPARE(received.count(), 1);
    const auto request = received.first().first().value<TTestHttpRequest>();
    QCOMPARE(request.method, QByteArray("GET"));
    QCOMPARE(request.target, QByteArray("/doc?x=1"));
    QCOMPARE(request.query(), QByteArray("x=1"));
    QCOMPARE(request.header("host"), QByteArray("127.0.0.1:" + QByteArray::number(server.port())));
    QCOMPARE(server.requestCount("/doc"), 1);
    QCOMPARE(server.requestCount("/doc?x=2"), 0);
    QCOMPARE(fetch(manager, "GET", server.url("/missing")).status, 404);
    QCOMPARE(server.requestedTargets(), QStringList({"/doc?x=1", "/missing"}));
    QCOMPARE(server.inFlightCount(), 0);
}

void TTestHttpServerTest::capturesPostBody()
{
    TTestHttpServer server;
    server.setContent("/upload", R"({"errorCode":0})", "application/json");
    QNetworkAccessManager manager;
    const QByteArray json = R"({"cpu":"x86-64","cores":2})";

    const TFetched got = fetch(manager, "POST", server.url("/upload"), json);

    QCOMPARE(got.body, QByteArray(R"({"errorCode":0})"));
    const TTestHttpRequest request = server.requests("/upload").value(0);
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.body, json);
    QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
}

void TTestHttpServerTest::reusesKeepAliveConnection()
{
    TTestHttpServer server;
    server.setContent("/a", "first");
    server.setContent("/b", QByteArray(100000, 'b'));
    QNetworkAccessManager manager;

    QCOMPARE(fetch(manager, "GET", server.url("/a")).body, QByteArray("first"));
    QCOMPARE(fetch(manager, "GET", server.url("/b")).body.size(), 100000);
    QCOMPARE(fetch(manager, "HEAD", server.url("/b")).body, QByteArray());
    QCOMPARE(fetch(manager, "GET", server.url("/a")).body, QByteArray("first"));

    QCOMPARE(server.requestCount(), 4);
    QCOMPARE(server.connectionCount(), 1);
    QCOMPARE(server.requests().last().connectionId, server.requests().first().connectionId);
}

void TTestHttpServerTest::parsesRequestsInPiecesAndPipelined()
{
    TTestHttpServer server;
    server.setContent("/one", "1");
    server.setContent("/two", "22");
    const QByteArray first = "POST /one HTTP/1.1\r\nHost: x\r\nContent-Length: 5\r\n\r\nabcde";
    const QByteArray second = "GET /two HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
    // The first request split inside the request line, the headers and the body; the second
    // one glued to the end of the first body.
    const QByteArray reply = rawExchange(server, {first.left(3), first.mid(3, 20), first.mid(23, first.size() - 25),
                                                  first.right(2) + second.left(10), second.mid(10)});

    QCOMPARE(server.requestedTargets(), QStringList({"/one", "/two"}));
    QCOMPARE(server.requests().first().body, QByteArray("abcde"));
    const int firstAnswer = reply.indexOf("Content-Length: 1\r\n");
    const int secondAnswer = reply.indexOf("Content-Length: 2\r\n");
    QVERIFY(firstAnswer > 0);
    QVERIFY(secondAnswer > firstAnswer);
    QVERIFY(reply.endsWith("\r\n\r\n22"));
}

void TTestHttpServerTest::servesDocumentRootButNothingOutsideIt()
{
    QTemporaryDir base;
    QVERIFY(base.isValid());
    QVERIFY(QDir(base.path()).mkpath("root/sub"));
    QFile inside(base.filePath("root/sub/data.json"));
    QVERIFY(inside.open(QIODevice::WriteOnly));
    inside.write("{}");
    inside.close();
    QFile outside(base.filePath("secret.txt"));
    QVERIFY(outside.open(QIODevice::WriteOnly));
    outside.write("secret");
    outside.close();
    TTestHttpServer server;
    server.setDocumentRoot(base.filePath("root"));
    QNetworkAccessManager manager;

    const TFetched got = fetch(manager, "GET", server.url("/sub/data.json"));
    QCOMPARE(got.body, QByteArray("{}"));
    QCOMPARE(got.contentType, QByteArray("application/json"));
    QCOMPARE(fetch(manager, "GET", server.url("/sub")).status, 404);
    // QNetworkAccessManager folds "..", so the escape attempt goes over a raw socket.
    const QByteArray escape = rawExchange(server, {"GET /../secret.txt HTTP/1.1\r\nConnection: close\r\n\r\n"});
    QVERIFY(escape.startsWith("HTTP/1.1 404"));
    QVERIFY(!escape.contains("secret"));
}

void TTestHttpServerTest::streamsLargeFileIntact()
{
    QTemporaryDir root;
    QVERIFY(root.isValid());
    QByteArray content(48 * 1024 * 1024 + 17, Qt::Uninitialized);
    for (int i = 0; i < content.size(); ++i) {
        content[i] = static_cast<char>((i * 7 + i / 4099) & 0xff);
    }
    QFile file(root.filePath("big.bin"));
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(content), qint64(content.size()));
    file.close();
    TTestHttpServer server;
    server.setResponse("/big", TTestHttpResponse().file(file.fileName()));
    QNetworkAccessManager manager;

    const TFetched got = fetch(manager, "GET", server.url("/big"));

    QCOMPARE(got.error, QNetworkReply::NoError);
    QCOMPARE(got.body.size(), content.size());
    QVERIFY(got.body == content);
}

void TTestHttpServerTest::failsFirstRequestsThenServes()
{
    TTestHttpServer server;
    server.setResponse("/flaky", TTestHttpResponse().body("fine").failFirst(2, 503));
    server.setResponse("/noisy", TTestHttpResponse().body("fine").noContentLength());
    QNetworkAccessManager manager;

    QCOMPARE(fetch(manager, "GET", server.url("/flaky")).status, 503);
    QCOMPARE(fetch(manager, "GET", server.url("/flaky")).status, 503);
    QCOMPARE(fetch(manager, "GET", server.url("/flaky")).body, QByteArray("fine"));
    QCOMPARE(fetch(manager, "GET", server.url("/noisy")).body, QByteArray("fine"));
}

void TTestHttpServerTest::holdsResponsesUntilReleased()
{
    TTestHttpServer server;
    server.setResponse("/wait", TTestHttpResponse().body("late").held());
    QNetworkAccessManager manager;
    std::unique_ptr<QNetworkReply> first(manager.get(QNetworkRequest(server.url("/wait?n=1"))));
    std::unique_ptr<QNetworkReply> second(manager.get(QNetworkRequest(server.url("/wait?n=2"))));
    QTRY_COMPARE(server.heldCount("/wait"), 2);
    QCOMPARE(server.inFlightCount(), 2);
    QCOMPARE(server.peakInFlightCount(), 2);
    QVERIFY(!first->isFinished());

    QCOMPARE(server.releaseHeld("/wait?n=2"), 1);
    QTRY_VERIFY(second->isFinished());
    QVERIFY(!first->isFinished());
    QCOMPARE(server.releaseHeld(), 1);
    QTRY_VERIFY(first->isFinished());
    QCOMPARE(first->readAll(), QByteArray("late"));
    QCOMPARE(server.inFlightCount(), 0);
    QCOMPARE(server.peakInFlightCount(), 2);
}

void TTestHttpServerTest::restartsOnSamePortAfterStop()
{
    TTestHttpServer server;
    server.setContent("/x", "x");
    const quint16 port = server.port();
    QNetworkAccessManager manager;
    server.stop();
    QVERIFY(!server.isListening());
    QCOMPARE(fetch(manager, "GET", server.url("/x")).error, QNetworkReply::ConnectionRefusedError);

    QVERIFY(server.start());
    QCOMPARE(server.port(), port);
    QCOMPARE(fetch(manager, "GET", server.url("/x")).body, QByteArray("x"));
}

QTEST_MAIN(TTestHttpServerTest)
#include "tst_TTestHttpServer.moc"
