#include "network/QNetworkAccessManagerWrapper.h"
#include "network/QNetworkReplyWrapper.h"
#include "network/TContentDecoder.h"
#include "network/TDownloadPool.h"
#include "network/TDownloadRateLimiter.h"
#include "support/TTestHttpServer.h"
#include "support/TestFiles.h"
#include "support/TestMemory.h"
#include "support/TestRandom.h"
#include "support/TestWaits.h"

#include <QAuthenticator>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

#include <cmath>
#include <memory>

using shared::QNetworkAccessManagerWrapper;
using shared::QNetworkReplyWrapper;
using shared::TContentDecoder;
using shared::TDownloadPool;
using shared::TDownloadRateLimiter;
using testsupport::holdsFor;
using testsupport::TTestHttpResponse;
using testsupport::TTestHttpServer;

namespace {

// Nothing marks the absence of a late duplicate report, so checks for one watch this long.
constexpr int QuietMs = 50;
constexpr qint64 MiB = 1024 * 1024;

/// A document that compresses about as well as a package document: hex digits of random bytes.
QByteArray compressibleDocument()
{
    return testsupport::pseudoRandom(150000, 3).toHex();
}

/// body announced with the given Content-Encoding, sent as it is.
TTestHttpResponse encodedResponse(const QByteArray& body, const QByteArray& coding)
{
    return TTestHttpResponse().body(body, "application/json").header("Content-Encoding", coding);
}

/// Zeros compressed with gzip: a body of about decodedMiB KiB that decodes to decodedMiB MiB.
QByteArray gzipBomb(int decodedMiB)
{
    return TTestHttpResponse::deflated(QByteArray(MiB, '\0'), 15 + 16, decodedMiB);
}

std::shared_ptr<QNetworkAccessManagerWrapper> makeManager()
{
    return std::make_shared<QNetworkAccessManagerWrapper>(std::make_shared<QNetworkAccessManager>());
}

std::unique_ptr<TDownloadPool> makePool(int limit, bool autoRelease)
{
    return std::make_unique<TDownloadPool>(limit, makeManager(), autoRelease);
}

QList<QUrl> urlsOf(const QSignalSpy& spy)
{
    QList<QUrl> urls;
    for (const QList<QVariant>& arguments : spy) {
        urls.append(arguments.at(0).toUrl());
    }
    return urls;
}

QNetworkReply::NetworkError codeOf(const QSignalSpy& failedSpy, int index)
{
    return failedSpy.at(index).at(1).value<QNetworkReply::NetworkError>();
}

/// Queue work of a pool that queues count URLs of one host whose connections are all busy, looks
/// each up, moves every tenth to the front and cancels them all; the pool's counts are checked on the way.
quint64 queueWorkFor(const TTestHttpServer& server, int count)
{
    TDownloadPool pool(10, makeManager(), false);
    QList<QUrl> urls;
    urls.reserve(count);
    for (int i = 0; i < count; ++i) {
        urls.append(server.url(QStringLiteral("/chunk?n=%1").arg(i)));
        pool.addRequest(urls.last());
    }
    const int onWire = TDownloadPool::MaxRequestsOnWirePerHost;
    int queued = 0;
    for (const QUrl& url : urls) {
        queued += pool.isQueued(url) ? 1 : 0;
    }
    for (int i = onWire; i < count; i += 10) {
        pool.addPriorityRequest(urls.at(i));
    }
    const int countsBeforeCancel[] = {pool.runningRequestCount(), pool.requestCount(), queued};
    for (const QUrl& url : urls) {
        pool.cancelRequest(url);
    }
    if (countsBeforeCancel[0] != onWire || countsBeforeCancel[1] != count || countsBeforeCancel[2] != count - onWire ||
        pool.requestCount() != 0) {
        qWarning("pool counts for %d URLs: running %d, requests %d, queued %d, left %d", count, countsBeforeCancel[0],
                 countsBeforeCancel[1], countsBeforeCancel[2], pool.requestCount());
        return 0;
    }
    return pool.queueWork();
}

} // namespace

class TNetworkTest : public QObject
{
    Q_OBJECT

private slots:
    // Wrappers
    void replyWrapperSignalsErrorThenFinished();
    void replyWrapperKeepsRequestedUrlAcrossRedirect();
    void replyWrapperReportsProgressWithoutContentLength();

    // Pool: queue and limits
    void refusesInvalidUrlOnceWithoutQueueing_data();
    void refusesInvalidUrlOnceWithoutQueueing();
    void acceptsUrlsThatNeedEncoding();
    void limitTwoStartsNextInQueueOrderOnEachSuccess();
    void readdingQueuedUrlMovesItBackOrFront();
    void runningUrlIsNeverStartedTwice();
    void limitZeroHoldsQueueUntilRaised();
    void withoutAutoReleaseSlotIsKeptUntilReleased();

    // Pool: outcomes
    void redirectIsReportedUnderRequestedUrl_data();
    void redirectIsReportedUnderRequestedUrl();
    void httpErrorIsReportedOnceWithQtCode_data();
    void httpErrorIsReportedOnceWithQtCode();
    void authenticationRequestFails();
    void progressIsReportedUnderRequestedUrl();
    void stalledTransferTimesOutAndCanBeRetried();
    void truncatedBodyFails();
    void refusedConnectionFails();
    void refusesLocalFileUrlsWithoutReadingThem();
    void responseCapAbortsOnceWithItsOwnReason_data();
    void responseCapAbortsOnceWithItsOwnReason();
    void tooSlowTransferFailsAndCanBeRetried();
    void cancelledRequestsReportNothingAndFreeTheirSlot();
    void staleReplyDoesNotDisturbRetriedRequest_data();
    void staleReplyDoesNotDisturbRetriedRequest();
    void destroyingPoolWithRunningRequestsIsSafe();
    void requestsBeyondHostConnectionsDoNotTimeOutWhileWaiting();
    void busyHostDoesNotHoldUpOtherHostsOrItsOwnOrder();
    void queueWorkIsNotQuadratic();

    // Compressed bodies
    void requestsAskForTheEncodingsQtAskedFor();
    void compressedBodyIsDecodedWithinItsLimits_data();
    void compressedBodyIsDecodedWithinItsLimits();
    void decompressionBombKeepsMemoryBounded();
    void contentDecoderTakesBodiesInAnyPieces_data();
    void contentDecoderTakesBodiesInAnyPieces();
};

void TNetworkTest::replyWrapperSignalsErrorThenFinished()
{
    TTestHttpServer server;
    server.setResponse("/gone", TTestHttpResponse().status(404).body("no such thing"));
    server.setContent("/here", "content");
    QNetworkAccessManagerWrapper manager(std::make_shared<QNetworkAccessManager>());

    for (const QString& path : {QStringLiteral("/gone"), QStringLiteral("/here")}) {
        QNetworkReplyWrapper* reply = manager.get(QNetworkRequest(server.url(path)));
        QStringList sequence;
        connect(reply, qOverload<QNetworkReply::NetworkError>(&QNetworkReplyWrapper::error), this,
                [&](QNetworkReply::NetworkError code) { sequence << QStringLiteral("error %1").arg(code); });
        connect(reply, &QNetworkReplyWrapper::finished, this, [&] { sequence << "finished"; });
        QTRY_VERIFY(sequence.contains("finished"));
        if (path == "/gone") {
            QCOMPARE(sequence, QStringList({"error 203", "finished"}));
            QCOMPARE(reply->error(), QNetworkReply::ContentNotFoundError);
            QVERIFY(!reply->errorString().isEmpty());
        } else {
            QCOMPARE(sequence, QStringList({"finished"}));
            QCOMPARE(reply->error(), QNetworkReply::NoError);
            QCOMPARE(reply->readAll(), QByteArray("content"));
        }
        reply->dispose();
    }
}

void TNetworkTest::replyWrapperKeepsRequestedUrlAcrossRedirect()
{
    TTestHttpServer server;
    server.setResponse("/old", TTestHttpResponse().redirect(302, "/new"));
    server.setContent("/new", "moved here");
    QNetworkAccessManagerWrapper manager(std::make_shared<QNetworkAccessManager>());
    manager.setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);

    QNetworkReplyWrapper* reply = manager.get(QNetworkRequest(server.url("/old")));
    QSignalSpy finished(reply, &QNetworkReplyWrapper::finished);
    QVERIFY(finished.wait());

    QCOMPARE(reply->readAll(), QByteArray("moved here"));
    QCOMPARE(reply->url(), server.url("/old"));
    // Qt at times repeats the redirected request on the kept-alive connection; the target is fetched once.
    QCOMPARE(server.requestCount("/new"), 1);
    reply->dispose();
}

void TNetworkTest::replyWrapperReportsProgressWithoutContentLength()
{
    TTestHttpServer server;
    const QByteArray body(40000, 'p');
    // Qt reports download progress at most every 100 ms, so the pieces come slower than that.
    server.setResponse("/stream", TTestHttpResponse().body(body).noContentLength().slowBody(10000, 150));
    QNetworkAccessManagerWrapper manager(std::make_shared<QNetworkAccessManager>());

    QNetworkReplyWrapper* reply = manager.get(QNetworkRequest(server.url("/stream")));
    QSignalSpy progress(reply, &QNetworkReplyWrapper::progress);
    QSignalSpy finished(reply, &QNetworkReplyWrapper::finished);
    QVERIFY(finished.wait());

    QVERIFY(progress.count() >= 2);
    qint64 previous = 0;
    for (const QList<QVariant>& arguments : progress) {
        const qint64 bytes = arguments.at(0).toLongLong();
        QVERIFY(bytes >= previous);
        previous = bytes;
    }
    QVERIFY(progress.first().at(0).toLongLong() < body.size());
    QCOMPARE(previous, qint64(body.size()));
    QCOMPARE(reply->readAll(), body);
    reply->dispose();
}

void TNetworkTest::refusesInvalidUrlOnceWithoutQueueing_data()
{
    QTest::addColumn<QUrl>("url");
    QTest::newRow("bare file name") << QUrl("package.json");
    QTest::newRow("relative path") << QUrl("chunks/ab/cd");
    QTest::newRow("empty") << QUrl();
    QTest::newRow("bad port") << QUrl("http://127.0.0.1:99999999/x");
    QTest::newRow("ftp scheme") << QUrl("ftp://127.0.0.1/chunk");
    QTest::newRow("data scheme") << QUrl("data:text/plain,inline");
    QTest::newRow("resource scheme") << QUrl("qrc:/settings/launchersettings.ini");
}

void TNetworkTest::refusesInvalidUrlOnceWithoutQueueing()
{
    QFETCH(QUrl, url);
    TTestHttpServer server;
    server.setContent("/ok", "ok");
    auto pool = makePool(2, true);
    QSignalSpy failed(pool.get(), &TDownloadPool::failed);
    QSignalSpy succeeded(pool.get(), &TDownloadPool::success);

    pool->addRequest(url);

    QCOMPARE(failed.count(), 1);
    QCOMPARE(failed.first().at(0).toUrl(), url);
    QCOMPARE(codeOf(failed, 0), QNetworkReply::ProtocolInvalidOperationError);
    QCOMPARE(failed.first().at(2).toString(), QString("Invalid URL"));
    QCOMPARE(pool->requestCount(), 0);
    // A request added afterwards completes after anything the refused URL could have caused.
    pool->addRequest(server.url("/ok"));
    QVERIFY(succeeded.wait());
    QCOMPARE(failed.count(), 1);
}

void TNetworkTest::acceptsUrlsThatNeedEncoding()
{
    TTestHttpServer server;
    server.setContent("/hints/first%20tip.json", "tip");
    auto pool = makePool(2, true);
    QSignalSpy succeeded(pool.get(), &TDownloadPool::success);

    const QUrl url("http://127.0.0.1:" + QString::number(server.port()) + "/hints/first tip.json");
    pool->addRequest(url);

    QVERIFY(succeeded.wait());
    QCOMPARE(succeeded.first().at(0).toUrl(), url);
    QCOMPARE(succeeded.first().at(1).toByteArray(), QByteArray("tip"));
}

void TNetworkTest::limitTwoStartsNextInQueueOrderOnEachSuccess()
{
    TTestHttpServer server;
    QList<QUrl> urls;
    for (int i = 1; i <= 5; ++i) {
        const QString path = QStringLiteral("/file%1").arg(i);
        server.setResponse(path, TTestHttpResponse().body(path.toUtf8()).held());
        urls.append(server.url(path));
    }
    auto pool = makePool(2, true);
    QSignalSpy succeeded(pool.get(), &TDownloadPool::success);

    for (const QUrl& url : urls) {
        pool->addRequest(url);
    }
    QCOMPARE(pool->runningRequestCount(), 2);
    QCOMPARE(pool->requestCount(), 5);
    QTRY_COMPARE(server.heldCount(), 2);
    QCOMPARE(server.requestedTargets(), QStringList({"/file1", "/file2"}));

    // Finishing the second first frees one slot, which goes to the head of the queue.
    server.releaseHeld("/file2");
    QTRY_COMPARE(server.requestCount(), 3);
    QCOMPARE(server.requestedTargets(), QStringList({"/file1", "/file2", "/file3"}));
    server.releaseHeld("/file1");
    QTRY_COMPARE(server.requestCount(), 4);
    server.releaseHeld("/file3");
    QTRY_COMPARE(server.requestCount(), 5);
    QCOMPARE(server.heldCount(), 2);
    server.releaseHeld();
    QTRY_COMPARE(succeeded.count(), 5);

    QCOMPARE(urlsOf(succeeded), QList<QUrl>({urls[1], urls[0], urls[2], urls[3], urls[4]}));
    QCOMPARE(succeeded.at(1).at(1).toByteArray(), QByteArray("/file1"));
    QCOMPARE(server.requestedTargets(), QStringList({"/file1", "/file2", "/file3", "/file4", "/file5"}));
    QCOMPARE(server.peakInFlightCount(), 2);
    QCOMPARE(pool->requestCount(), 0);
}

void TNetworkTest::readdingQueuedUrlMovesItBackOrFront()
{
    TTestHttpServer server;
    for (const char* path : {"/a", "/b", "/c", "/d"}) {
        server.setContent(path, QByteArray(path));
    }
    auto pool = makePool(0, true);
    QSignalSpy succeeded(pool.get(), &TDownloadPool::success);

    for (const char* path : {"/a", "/b", "/c", "/d"}) {
        pool->addRequest(server.url(path));
    }
    pool->addRequest(server.url("/a"));         // b c d a
    pool->addPriorityRequest(server.url("/c")); // c b d a
    pool->addPriorityRequest(server.url("/e")); // e c b d a
    QCOMPARE(pool->requestCount(), 5);
    QCOMPARE(pool->runningRequestCount(), 0);

    pool->setMaxParallelRequests(1);
    QTRY_COMPARE(succeeded.count(), 4);

    QCOMPARE(server.requestedTargets(), QStringList({"/e", "/c", "/b", "/d", "/a"}));
}

void TNetworkTest::runningUrlIsNeverStartedTwice()
{
    TTestHttpServer server;
    server.setResponse("/chunk", TTestHttpResponse().body("data").held());
    auto pool = makePool(4, true);
    QSignalSpy succeeded(pool.get(), &TDownloadPool::success);
    const QUrl url = server.url("/chunk");

    pool->addRequest(url);
    QTRY_COMPARE(server.heldCount(), 1);
    pool->addRequest(url);
    pool->addPriorityRequest(url);
    QCOMPARE(pool->runningRequestCount(), 1);
    QCOMPARE(pool->requestCount(), 1);

    server.releaseHeld();
    QVERIFY(succeeded.wait());
    QCOMPARE(server.requestCount("/chunk"), 1);
    QCOMPARE(succeeded.count(), 1);
}

void TNetworkTest::limitZeroHoldsQueueUntilRaised()
{
    TTestHttpServer server;
    for (const char* path : {"/1", "/2", "/3", "/4"}) {
        server.setResponse(path, TTestHttpResponse().body("x").held());
    }
    auto pool = makePool(1, true);
    QCOMPARE(pool->maxParallelRequests(), 1);
    pool->addRequest(server.url("/1"));
    pool->setMaxParallelRequests(0);

    for (const char* path : {"/2", "/3", "/4"}) {
        pool->addRequest(server.url(path));
    }
    QCOMPARE(pool->runningRequestCount(), 1);
    QCOMPARE(pool->requestCount(), 4);
    QTRY_COMPARE(server.heldCount(), 1);
    // Finishing the running request frees a slot, but limit 0 still holds the queue.
    server.releaseHeld("/1");
    QTRY_COMPARE(pool->runningRequestCount(), 0);
    QCOMPARE(pool->requestCount(), 3);

    pool->setMaxParallelRequests(3);
    QCOMPARE(pool->maxParallelRequests(), 3);
    QCOMPARE(pool->runningRequestCount(), 3);
    QTRY_COMPARE(server.heldCount(), 3);
    QCOMPARE(server.requestedTargets(), QStringList({"/1", "/2", "/3", "/4"}));
    server.releaseHeld();
    QTRY_COMPARE(pool->requestCount(), 0);
}

void TNetworkTest::withoutAutoReleaseSlotIsKeptUntilReleased()
{
    TTestHttpServer server;
    server.setContent("/a", "first");
    server.setContent("/b", "second");
    auto pool = makePool(1, false);
    QSignalSpy succeeded(pool.get(), &TDownloadPool::success);
    const QUrl a = server.url("/a");
    const QUrl b = server.url("/b");

    pool->addRequest(a);
    pool->addRequest(b);
    QVERIFY(succeeded.wait());
    QCOMPARE(urlsOf(succeeded), QList<QUrl>({a}));
    QCOMPARE(succeeded.first().at(1).toByteArray(), QByteArray("first"));
    QCOMPARE(pool->runningRequestCount(), 1);
    QCOMPARE(pool->requestCount(), 2);

    // A reported but unreleased URL still counts as running: adding it again starts nothing.
    pool->addRequest(a);
    pool->releaseRequest(server.url("/not-running"));
    QCOMPARE(pool->requestCount(), 2);
    QCOMPARE(pool->runningRequestCount(), 1);

    pool->releaseRequest(a);
    QCOMPARE(pool->runningRequestCount(), 1);
    QCOMPARE(pool->requestCount(), 1);
    QTRY_COMPARE(succeeded.count(), 2);
    QCOMPARE(succeeded.at(1).at(0).toUrl(), b);
    QCOMPARE(server.requestedTargets(), QStringList({"/a", "/b"}));
    pool->releaseRequest(b);
    QCOMPARE(pool->requestCount(), 0);
}

void TNetworkTest::redirectIsReportedUnderRequestedUrl_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<qint64>("rateLimit");
    QTest::newRow("301") << 301 << qint64(0);
    QTest::newRow("302") << 302 << qint64(0);
    QTest::newRow("307") << 307 << qint64(0);
    QTest::newRow("307 under a rate limit") << 307 << qint64(10000000);
}

void TNetworkTest::redirectIsReportedUnderRequestedUrl()
{
    QFETCH(int, status);
    QFETCH(qint64, rateLimit);
    TTestHttpServer server;
    server.setResponse("/latest/config.json", TTestHttpResponse().redirect(status, "/v2/config.json"));
    server.setContent("/v2/config.json", "{\"v\":2}");
    auto pool = makePool(6, true);
    if (rateLimit > 0) {
        pool->setRateLimiter(std::make_shared<TDownloadRateLimiter>(rateLimit));
    }
    QSignalSpy succeeded(pool.get(), &TDownloadPool::success);
    QSignalSpy progress(pool.get(), &TDownloadPool::progress);
    QUrl finalUrl;
    connect(pool.get(), &TDownloadPool::success, this, [&finalUrl, &pool] { finalUrl = pool->reportedFinalUrl(); });

    pool->addRequest(server.url("/latest/config.json"));

    QVERIFY(succeeded.wait());
    QCOMPARE(succeeded.first().at(0).toUrl(), server.url("/latest/config.json"));
    QCOMPARE(succeeded.first().at(1).toByteArray(), QByteArray("{\"v\":2}"));
    QCOMPARE(finalUrl, server.url("/v2/config.json"));
    QCOMPARE(pool->reportedFinalUrl(), QUrl());
    QVERIFY(!progress.isEmpty());
    for (const QUrl& url : urlsOf(progress)) {
        QCOMPARE(url, server.url("/latest/config.json"));
    }
    QCOMPARE(pool->requestCount(), 0);
}

void TNetworkTest::httpErrorIsReportedOnceWithQtCode_data()
{
    QTest::addColumn<int>("status");
    QTest::addColumn<bool>("autoRelease");
    QTest::addColumn<QNetworkReply::NetworkError>("code");
    QTest::newRow("404 auto") << 404 << true << QNetworkReply::ContentNotFoundError;
    QTest::newRow("404 manual") << 404 << false << QNetworkReply::ContentNotFoundError;
    QTest::newRow("403 auto") << 403 << true << QNetworkReply::ContentAccessDenied;
    QTest::newRow("503 manual") << 503 << false << QNetworkReply::ServiceUnavailableError;
}

void TNetworkTest::httpErrorIsReportedOnceWithQtCode()
{
    QFETCH(int, status);
    QFETCH(bool, autoRelease);
    QFETCH(QNetworkReply::NetworkError, code);
    TTestHttpServer server;
    server.setResponse("/missing", TTestHttpResponse().status(status).body("error page"));
    server.setContent("/next", "next");
    auto pool = makePool(1, autoRelease);
    QSignalSpy failed(pool.get(), &TDownloadPool::failed);
    QSignalSpy succeeded(pool.get(), &TDownloadPool::success);

    pool->addRequest(server.url("/missing"));
    pool->addRequest(server.url("/next"));
    QVERIFY(failed.wait());
    QCOMPARE(failed.first().at(0).toUrl(), server.url("/missing"));
    QCOMPARE(codeOf(failed, 0), code);
    QVERIFY(!failed.first().at(2).toString().isEmpty());
    if (!autoRelease) {
        QCOMPARE(pool->runningRequestCount(), 1);
        pool->releaseRequest(server.url("/missing"));
    }

    QTRY_COMPARE(succeeded.count(), 1);
    QCOMPARE(failed.count(), 1);
}

void TNetworkTest::authenticationRequestFails()
{
    TTestHttpServer server;
    server.setResponse("/private", TTestHttpResponse().status(401).header("WWW-Authenticate", "Basic realm=\"cdn\""));
    auto manager = makeManager();
    int authenticationRequests = 0;
    connect(manager.get(), &QNetworkAccessManagerWrapper::authenticationRequired, this,
            [&](QNetworkReply*, QAuthenticator*) { ++authenticationRequests; });
    TDownloadPool pool(6, manager, true);
    QSignalSpy failed(&pool, &TDownloadPool::failed);

    pool.addRequest(server.url("/private"));

    QVERIFY(failed.wait());
    QCOMPARE(codeOf(failed, 0), QNetworkReply::AuthenticationRequiredError);
    QCOMPARE(authenticationRequests, 1);
    QCOMPARE(server.requestCount("/private"), 1);
    QVERIFY(!server.requests().first().hasHeader("Authorization"));
}

void TNetworkTest::progressIsReportedUnderRequestedUrl()
{
    TTestHttpServer server;
    const QByteArray body(40000, 'c');
    server.setResponse("/slow", TTestHttpResponse().body(body).slowBody(10000, 150));
    auto pool = makePool(2, false);
    QSignalSpy progress(pool.get(), &TDownloadPool::progress);
    QSignalSpy succeeded(pool.get(), &TDownloadPool::success);

    pool->addRequest(server.url("/slow"));

    QVERIFY(succeeded.wait());
    QVERIFY(progress.count() >= 2);
    QVERIFY(progress.first().at(1).toLongLong() < body.size());
    QCOMPARE(progress.last().at(0).toUrl(), server.url("/slow"));
    QCOMPARE(progress.last().at(1).toLongLong(), qint64(body.size()));
    QCOMPARE(succeeded.first().at(1).toByteArray(), body);
}

void TNetworkTest::stalledTransferTimesOutAndCanBeRetried()
{
    TTestHttpServer server;
    server.setResponse("/chunk", TTestHttpResponse().body(QByteArray(1000, 'd')).stall());
    auto pool = makePool(2, false);
    QCOMPARE(pool->transferTimeout(), 60000);
    pool->setTransferTimeout(300);
    QSignalSpy failed(pool.get(), &TDownloadPool::failed);
    QSignalSpy succeeded(pool.get(), &TDownloadPool::success);
    const QUrl url = server.url("/chunk");

    pool->addRequest(url);
    QVERIFY(failed.wait(10000));
    QCOMPARE(failed.first().at(0).toUrl(), url);
    QCOMPARE(codeOf(failed, 0), QNetworkReply::OperationCanceledError);
    QTRY_COMPARE(server.inFlightCount(), 0); // the client closed the stalled connection

    // The caller's retry after release gets a fresh request.
    server.setContent("/chunk", "recovered");
    pool->releaseRequest(url);
    pool->addRequest(url);
    QVERIFY(succeeded.wait());
    QCOMPARE(succeeded.first().at(1).toByteArray(), QByteArray("recovered"));
    QCOMPARE(failed.count(), 1);
    QCOMPARE(server.requestCount("/chunk"), 2);
}

void TNetworkTest::truncatedBodyFails()
{
    TTestHttpServer server;
    server.setResponse("/chunk", TTestHttpResponse().body(QByteArray(100000, 't')).truncate(30000));
    auto pool = makePool(2, true);
    QSignalSpy failed(pool.get(), &TDownloadPool::failed);
    QSignalSpy succeeded(pool.get(), &TDownloadPool::success);

    pool->addRequest(server.url("/chunk"));

    QVERIFY(failed.wait());
    QCOMPARE(codeOf(failed, 0), QNetworkReply::RemoteHostClosedError);
    QCOMPARE(succeeded.count(), 0);
    QCOMPARE(pool->requestCount(), 0);
}

void TNetworkTest::refusedConnectionFails()
{
    TTestHttpServer server;
    const QUrl url = server.url("/config.json");
    server.stop();
    auto pool = makePool(6, true);
    QSignalSpy failed(pool.get(), &TDownloadPool::failed);

    pool->addRequest(url);

    QVERIFY(failed.wait());
    QCOMPARE(codeOf(failed, 0), QNetworkReply::ConnectionRefusedError);
    QCOMPARE(pool->requestCount(), 0);
}

void TNetworkTest::refusesLocalFileUrlsWithoutReadingThem()
{
    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    const QString file = directory.filePath("package.json");
    testsupport::writeFile(file, "{\"files\":[]}");
    auto pool = makePool(6, true);
    QSignalSpy succeeded(pool.get(), &TDownloadPool::success);
    QSignalSpy failed(pool.get(), &TDownloadPool::failed);
    const QUrl present = QUrl::fromLocalFile(file);
    const QUrl absent = QUrl::fromLocalFile(directory.filePath("absent.json"));

    pool->addRequest(present);
    pool->addPriorityRequest(absent);

    QCOMPARE(urlsOf(failed), QList<QUrl>({present, absent}));
    QCOMPARE(codeOf(failed, 0), QNetworkReply::ProtocolInvalidOperationError);
    QCOMPARE(codeOf(failed, 1), QNetworkReply::ProtocolInvalidOperationError);
    QCOMPARE(pool->requestCount(), 0);
    QVERIFY(holdsFor([&] { return failed.count() == 2 && succeeded.count() == 0; }, QuietMs));
}

void TNetworkTest::responseCapAbortsOnceWithItsOwnReason_data()
{
    QTest::addColumn<TTestHttpResponse>("response");
    QTest::addColumn<qint64>("cap");
    QTest::addColumn<bool>("capAsPoolDefault");
    QTest::addColumn<bool>("autoRelease");
    QTest::addColumn<QByteArray>("expectedBody"); // empty: the request fails

    const QByteArray thousand(1000, 'k');
    QTest::newRow("body at the cap") << TTestHttpResponse().body(thousand) << qint64(1000) << false << true << thousand;
    QTest::newRow("known size with slack")
        << TTestHttpResponse().body(thousand) << TDownloadPool::maxResponseBytesFor(1000) << false << false << thousand;
    QTest::newRow("one byte over") << TTestHttpResponse().body(thousand + 'k') << qint64(1000) << false << true
                                   << QByteArray();
    QTest::newRow("one byte over, manual release")
        << TTestHttpResponse().body(thousand + 'k') << qint64(1000) << false << false << QByteArray();
    QTest::newRow("pool default cap") << TTestHttpResponse().body(thousand + 'k') << qint64(1000) << true << true
                                      << QByteArray();
    QTest::newRow("huge declared length") << TTestHttpResponse().body("tiny").declareLength(Q_INT64_C(1) << 40)
                                          << qint64(1 << 20) << false << false << QByteArray();
    QTest::newRow("endless body") << TTestHttpResponse().endless() << qint64(4 << 20) << false << true << QByteArray();
    QTest::newRow("gzip bomb") << TTestHttpResponse().gzipBody(QByteArray(32 << 20, '\0')) << qint64(1 << 20) << false
                               << false << QByteArray();
    QTest::newRow("gzip within the cap") << TTestHttpResponse().gzipBody(thousand) << qint64(1000) << false << true
                                         << thousand;
}

void TNetworkTest::responseCapAbortsOnceWithItsOwnReason()
{
    QFETCH(TTestHttpResponse, response);
    QFETCH(qint64, cap);
    QFETCH(bool, capAsPoolDefault);
    QFETCH(bool, autoRelease);
    QFETCH(QByteArray, expectedBody);
    TTestHttpServer server;
    server.setResponse("/doc", response);
    auto pool = makePool(2, autoRelease);
    QCOMPARE(pool->maxResponseBytes(), TDownloadPool::DefaultMaxResponseBytes);
    QSignalSpy failed(pool.get(), &TDownloadPool::failed);
    QSignalSpy succeeded(pool.get(), &TDownloadPool::success);
    const QUrl url = server.url("/doc");

    if (capAsPoolDefault) {
        pool->setMaxResponseBytes(cap);
        pool->addRequest(url);
    } else {
        pool->addRequest(url, cap);
    }

    QTRY_COMPARE(failed.count() + succeeded.count(), 1);
    if (expectedBody.isEmpty()) {
        QCOMPARE(codeOf(failed, 0), QNetworkReply::UnknownContentError);
        QCOMPARE(failed.first().at(2).toString(),
                 QStringLiteral("Response larger than the limit of %1 bytes").arg(cap));
        QTRY_COMPARE(server.inFlightCount(), 0); // the client closed the connection
    } else {
        QCOMPARE(succeeded.first().at(1).toByteArray(), expectedBody);
    }
    QVERIFY(holdsFor([&] { return failed.count() + succeeded.count() == 1; }, QuietMs));
}

void TNetworkTest::tooSlowTransferFailsAndCanBeRetried()
{
    TTestHttpServer server;
    // A byte now and then never lets the inactivity time-out fire.
    server.setResponse("/chunk", TTestHttpResponse().endless().slowBody(1, 20));
    auto pool = makePool(2, true);
    pool->setMinimumThroughput(1000, 200);
    QSignalSpy failed(pool.get(), &TDownloadPool::failed);
    QSignalSpy succeeded(pool.get(), &TDownloadPool::success);
    const QUrl url = server.url("/chunk");

    pool->addRequest(url);
    QVERIFY(failed.wait());
    QCOMPARE(codeOf(failed, 0), QNetworkReply::TimeoutError);
    QCOMPARE(failed.first().at(2).toString(), QStringLiteral("Transfer slower than 1000 bytes in 200 ms"));
    QTRY_COMPARE(server.inFlightCount(), 0);

    // A window that brings enough passes; the retry is an ordinary request.
    server.setContent("/chunk", QByteArray(5000, 'r'));
    pool->setMinimumThroughput(1, 60000);
    pool->addRequest(url);
    QVERIFY(succeeded.wait());
    QCOMPARE(failed.count(), 1);
}

void TNetworkTest::cancelledRequestsReportNothingAndFreeTheirSlot()
{
    TTestHttpServer server;
    server.setResponse("/running", TTestHttpResponse().body("r").held());
    server.setContent("/queued", "q");
    server.setContent("/next", "n");
    auto pool = makePool(1, false);
    QSignalSpy failed(pool.get(), &TDownloadPool::failed);
    QSignalSpy succeeded(pool.get(), &TDownloadPool::success);

    pool->addRequest(server.url("/running"));
    pool->addRequest(server.url("/queued"));
    pool->addRequest(server.url("/next"));
    QTRY_COMPARE(server.heldCount("/running"), 1);
    pool->cancelRequest(server.url("/queued"));
    pool->cancelRequest(server.url("/running"));
    QTRY_COMPARE(succeeded.count(), 1);
    QCOMPARE(urlsOf(succeeded), QList<QUrl>({server.url("/next")}));
    QTRY_COMPARE(server.heldCount("/running"), 0); // the connection was closed

    // A reported request that still holds its slot is freed the same way.
    pool->cancelRequest(server.url("/next"));
    QCOMPARE(pool->requestCount(), 0);
    QVERIFY(holdsFor([&] { return failed.count() == 0 && server.requestCount("/queued") == 0; }, QuietMs));
}

void TNetworkTest::staleReplyDoesNotDisturbRetriedRequest_data()
{
    QTest::addColumn<bool>("autoRelease");
    QTest::newRow("auto release") << true;
    QTest::newRow("manual release") << false;
}

void TNetworkTest::staleReplyDoesNotDisturbRetriedRequest()
{
    QFETCH(bool, autoRelease);
    TTestHttpServer server;
    // The first request fails; the retry is held so it is still running when the failed reply finishes.
    server.setResponse("/chunk", TTestHttpResponse().body("good").held().failFirst(1, 503));
    auto pool = makePool(4, autoRelease);
    QSignalSpy failed(pool.get(), &TDownloadPool::failed);
    QSignalSpy succeeded(pool.get(), &TDownloadPool::success);
    const QUrl url = server.url("/chunk");
    // The retry happens inside the failure report, as the callers' retry rules do.
    connect(pool.get(), &TDownloadPool::failed, this, [&](const QUrl& failedUrl) {
        if (!autoRelease) {
            pool->releaseRequest(failedUrl);
        }
        pool->addRequest(failedUrl);
    });

    pool->addRequest(url);
    QTRY_COMPARE(server.heldCount("/chunk"), 1);
    QCOMPARE(failed.count(), 1);
    QCOMPARE(pool->runningRequestCount(), 1);
    QCOMPARE(server.requestCount("/chunk"), 2);

    server.releaseHeld();
    QVERIFY(succeeded.wait());
    QCOMPARE(succeeded.first().at(1).toByteArray(), QByteArray("good"));
    QCOMPARE(failed.count(), 1);
    QCOMPARE(server.requestCount("/chunk"), 2);
    QCOMPARE(pool->runningRequestCount(), autoRelease ? 0 : 1);
}

void TNetworkTest::destroyingPoolWithRunningRequestsIsSafe()
{
    TTestHttpServer server;
    server.setResponse("/a", TTestHttpResponse().body("a").held());
    server.setResponse("/b", TTestHttpResponse().body("b").held());
    auto manager = makeManager();
    {
        TDownloadPool pool(1, manager, true);
        pool.addRequest(server.url("/a"));
        pool.addRequest(server.url("/b"));
        QTRY_COMPARE(server.heldCount(), 1);
    }
    // Replies outlive the pool on the shared manager and finish without anyone to report to.
    server.releaseHeld();
    QTRY_COMPARE(server.inFlightCount(), 0);
    QCOMPARE(server.requestedTargets(), QStringList({"/a"}));
}

void TNetworkTest::requestsBeyondHostConnectionsDoNotTimeOutWhileWaiting()
{
    TTestHttpServer server;
    // Each body trickles in for longer than the time-out but never pauses that long.
    const QByteArray body(8000, 'w');
    auto pool = makePool(8, true);
    pool->setTransferTimeout(1000);
    QSignalSpy failed(pool.get(), &TDownloadPool::failed);
    QSignalSpy succeeded(pool.get(), &TDownloadPool::success);
    for (int i = 0; i < 8; ++i) {
        const QString path = QStringLiteral("/chunk%1").arg(i);
        server.setResponse(path, TTestHttpResponse().body(body).slowBody(1000, 150));
        pool->addRequest(server.url(path));
    }
    QCOMPARE(pool->runningRequestCount(), TDownloadPool::MaxRequestsOnWirePerHost);
    QCOMPARE(pool->requestCount(), 8);

    QTRY_COMPARE_WITH_TIMEOUT(succeeded.count() + failed.count(), 8, 20000);
    QCOMPARE(failed.count(), 0);
    QCOMPARE(server.peakInFlightCount(), TDownloadPool::MaxRequestsOnWirePerHost);
}

void TNetworkTest::busyHostDoesNotHoldUpOtherHostsOrItsOwnOrder()
{
    TTestHttpServer first;
    TTestHttpServer second;
    first.setResponse("/a", TTestHttpResponse().body("a").held());
    second.setResponse("/b", TTestHttpResponse().body("b").held());
    auto pool = makePool(TDownloadPool::MaxRequestsOnWirePerHost + 3, true);
    QSignalSpy succeeded(pool.get(), &TDownloadPool::success);
    const auto firstUrl = [&](int i) { return first.url(QStringLiteral("/a?%1").arg(i)); };
    const auto secondUrl = [&](int i) { return second.url(QStringLiteral("/b?%1").arg(i)); };

    // Queue: a1 .. a7, b1, b2, b3, a8. The first host takes six; a7 waits, the b URLs pass it.
    for (int i = 1; i <= 7; ++i) {
        pool->addRequest(firstUrl(i));
    }
    for (int i = 1; i <= 3; ++i) {
        pool->addRequest(secondUrl(i));
    }
    pool->addRequest(firstUrl(8));
    QCOMPARE(pool->runningRequestCount(), TDownloadPool::MaxRequestsOnWirePerHost + 3);
    QVERIFY(pool->isQueued(firstUrl(7)) && pool->isQueued(firstUrl(8)) && !pool->isQueued(secondUrl(3)));
    QTRY_COMPARE(first.heldCount() + second.heldCount(), TDownloadPool::MaxRequestsOnWirePerHost + 3);

    // A slot and a connection of the first host free: the earlier of its two waiting URLs starts.
    first.releaseHeld("/a?1");
    QTRY_COMPARE(first.requestCount(), 7);
    QVERIFY(pool->isQueued(firstUrl(8)));
    // A slot of the second host frees while the first host is busy again: a8 keeps waiting.
    second.releaseHeld();
    QTRY_COMPARE(succeeded.count(), 4);
    QCOMPARE(pool->runningRequestCount(), TDownloadPool::MaxRequestsOnWirePerHost);
    QVERIFY(pool->isQueued(firstUrl(8)));
    first.releaseHeld("/a?2");
    QTRY_COMPARE(first.requestCount(), 8);
    first.releaseHeld();
    QTRY_COMPARE(succeeded.count(), 11);

    // Requests started together race over their own connections, so the server sees each group in
    // any order; the groups themselves arrive in queue order.
    const auto sorted = [](QStringList targets) {
        targets.sort();
        return targets;
    };
    const QStringList firstTargets = first.requestedTargets();
    QCOMPARE(sorted(firstTargets.mid(0, 6)), QStringList({"/a?1", "/a?2", "/a?3", "/a?4", "/a?5", "/a?6"}));
    QCOMPARE(firstTargets.mid(6), QStringList({"/a?7", "/a?8"}));
    QCOMPARE(sorted(second.requestedTargets()), QStringList({"/b?1", "/b?2", "/b?3"}));
    QCOMPARE(first.peakInFlightCount(), TDownloadPool::MaxRequestsOnWirePerHost);
}

void TNetworkTest::queueWorkIsNotQuadratic()
{
    TTestHttpServer server;
    server.setResponse("/chunk", TTestHttpResponse().body("never sent").held());

    // Every operation is a hash look-up or a walk down a balanced tree, so the work per request
    // grows with the logarithm of the queue; a queue that scanned itself per request would do
    // hundreds of units per request and logarithm at 10k, and eight times that share at 100k.
    const auto workPerRequestAndLog = [&](int count) {
        const quint64 work = queueWorkFor(server, count);
        return double(work) / (count * std::log2(count));
    };
    const double small = workPerRequestAndLog(10000);
    QVERIFY2(small > 0 && small < 20, qPrintable(QStringLiteral("work per request and log at 10k: %1").arg(small)));
    const double large = workPerRequestAndLog(100000);
    QVERIFY2(large < 1.5 * small,
             qPrintable(QStringLiteral("work per request and log: %1 at 10k, %2 at 100k").arg(small).arg(large)));
}

void TNetworkTest::requestsAskForTheEncodingsQtAskedFor()
{
    TTestHttpServer server;
    server.setContent("/doc", "{}");
    auto pool = makePool(2, true);
    QNetworkAccessManagerWrapper manager(std::make_shared<QNetworkAccessManager>());
    QNetworkRequest own(server.url("/doc?own"));
    own.setRawHeader("Accept-Encoding", "identity");

    pool->addRequest(server.url("/doc"));
    QNetworkReplyWrapper* reply = manager.get(own);
    QTRY_COMPARE(server.requestCount("/doc"), 2);

    for (const auto& request : server.requests()) {
        const bool ownHeader = request.query() == "own";
        int count = 0;
        for (const auto& header : request.headers) {
            count += header.first.compare("Accept-Encoding", Qt::CaseInsensitive) == 0 ? 1 : 0;
        }
        QCOMPARE(count, 1);
        QCOMPARE(request.header("Accept-Encoding"), QByteArray(ownHeader ? "identity" : "gzip, deflate"));
    }
    reply->dispose();
}

void TNetworkTest::compressedBodyIsDecodedWithinItsLimits_data()
{
    QTest::addColumn<TTestHttpResponse>("response");
    QTest::addColumn<qint64>("cap");
    QTest::addColumn<qint64>("rate"); // 0: read without a limit
    QTest::addColumn<QNetworkReply::NetworkError>("code");
    QTest::addColumn<QString>("reason"); // empty: the decoded document arrives

    const QByteArray document = compressibleDocument();
    const QByteArray gzip = TTestHttpResponse::deflated(document, 15 + 16);
    const qint64 defaultCap = TDownloadPool::DefaultMaxResponseBytes;
    const qint64 limited = 20 * MiB;
    const auto ok = QNetworkReply::NoError;
    const auto corrupt = QNetworkReply::ProtocolFailure;
    const auto tooLarge = QNetworkReply::UnknownContentError;
    const QString notGzip = QStringLiteral("Response body is not valid gzip data");
    const QString overMiB = QStringLiteral("Response larger than the limit of 1048576 bytes");

    QTest::newRow("gzip") << TTestHttpResponse().gzipBody(document) << defaultCap << qint64(0) << ok << QString();
    QTest::newRow("gzip, rate limited") << encodedResponse(gzip, "gzip") << defaultCap << limited << ok << QString();
    QTest::newRow("deflate with zlib header") << encodedResponse(TTestHttpResponse::deflated(document, 15), "deflate")
                                              << defaultCap << qint64(0) << ok << QString();
    QTest::newRow("raw deflate") << encodedResponse(TTestHttpResponse::deflated(document, -15), "Deflate") << defaultCap
                                 << limited << ok << QString();
    QTest::newRow("identity named") << encodedResponse(document, "identity") << defaultCap << qint64(0) << ok
                                    << QString();
    QTest::newRow("bomb over the cap, rate limited")
        << encodedResponse(gzipBomb(64), "gzip") << MiB << limited << tooLarge << overMiB;
    QTest::newRow("bomb under the cap") << encodedResponse(gzipBomb(8), "gzip") << defaultCap << qint64(0) << tooLarge
                                        << QStringLiteral("Response expands more than 100 times when decoded");
    QTest::newRow("not gzip") << encodedResponse(document, "gzip") << defaultCap << qint64(0) << corrupt << notGzip;
    QTest::newRow("truncated gzip") << encodedResponse(gzip.left(gzip.size() / 2), "gzip") << defaultCap << qint64(0)
                                    << corrupt << notGzip;
    QTest::newRow("truncated gzip, rate limited")
        << encodedResponse(gzip.left(gzip.size() - 4), "gzip") << defaultCap << limited << corrupt << notGzip;
    QTest::newRow("unsupported coding") << encodedResponse(gzip, "br") << defaultCap << qint64(0) << corrupt
                                        << QStringLiteral("Response uses the unsupported content coding \"br\"");
}

void TNetworkTest::compressedBodyIsDecodedWithinItsLimits()
{
    QFETCH(TTestHttpResponse, response);
    QFETCH(qint64, cap);
    QFETCH(qint64, rate);
    QFETCH(QNetworkReply::NetworkError, code);
    QFETCH(QString, reason);
    TTestHttpServer server;
    server.setResponse("/doc", response);
    auto pool = makePool(2, false);
    pool->setRateLimiter(std::make_shared<TDownloadRateLimiter>(rate));
    QSignalSpy failed(pool.get(), &TDownloadPool::failed);
    QSignalSpy succeeded(pool.get(), &TDownloadPool::success);

    pool->addRequest(server.url("/doc"), cap);

    QTRY_COMPARE(failed.count() + succeeded.count(), 1);
    if (reason.isEmpty()) {
        QCOMPARE(succeeded.count(), 1);
        QCOMPARE(succeeded.first().at(1).toByteArray(), compressibleDocument());
    } else {
        QCOMPARE(failed.count(), 1);
        QCOMPARE(codeOf(failed, 0), code);
        QCOMPARE(failed.first().at(2).toString(), reason);
    }
    QVERIFY(holdsFor([&] { return failed.count() + succeeded.count() == 1; }, QuietMs));
}

void TNetworkTest::decompressionBombKeepsMemoryBounded()
{
    // About 512 KiB on the wire, 512 MiB decoded, served as a package document would be.
    TTestHttpServer server;
    server.setResponse("/package.json", encodedResponse(gzipBomb(512), "gzip"));
    auto pool = makePool(2, false);
    QSignalSpy failed(pool.get(), &TDownloadPool::failed);
    QVERIFY(testsupport::resetPeakResident());
    const qint64 before = testsupport::processMemoryBytes("VmHWM");

    pool->addRequest(server.url("/package.json"));

    QTRY_COMPARE_WITH_TIMEOUT(failed.count(), 1, 60000);
    QCOMPARE(codeOf(failed, 0), QNetworkReply::UnknownContentError);
    // The response cap (64 MiB) and a few buffers; undecoded the body would take gigabytes.
    const qint64 growth = testsupport::processMemoryBytes("VmHWM") - before;
    QVERIFY2(before > 0 && growth < 2 * TDownloadPool::DefaultMaxResponseBytes,
             qPrintable(QStringLiteral("peak memory grew by %1 MiB").arg(growth / MiB)));
}

void TNetworkTest::contentDecoderTakesBodiesInAnyPieces_data()
{
    QTest::addColumn<QByteArray>("coding");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QByteArray>("expected"); // a failing body decodes to a beginning of it
    QTest::addColumn<bool>("valid");

    const QByteArray document = compressibleDocument();
    const QByteArray gzip = TTestHttpResponse::deflated(document, 15 + 16);
    const QByteArray other = TTestHttpResponse::deflated("and more", 15 + 16);
    const QByteArray zlib = TTestHttpResponse::deflated(document, 15);
    QTest::newRow("gzip") << QByteArray("gzip") << gzip << document << true;
    QTest::newRow("two gzip members") << QByteArray("x-gzip") << gzip + other << document + "and more" << true;
    QTest::newRow("zlib deflate") << QByteArray("deflate") << zlib << document << true;
    QTest::newRow("raw deflate") << QByteArray("deflate") << TTestHttpResponse::deflated(document, -15) << document
                                 << true;
    QTest::newRow("empty") << QByteArray("gzip") << QByteArray() << QByteArray() << true;
    QTest::newRow("identity") << QByteArray(" Identity ") << document << document << true;
    QTest::newRow("garbage after gzip") << QByteArray("gzip") << gzip + "junk" << document << false;
    QTest::newRow("bytes after deflate") << QByteArray("deflate") << zlib + zlib << document << false;
    QTest::newRow("truncated") << QByteArray("deflate") << zlib.left(zlib.size() - 1) << document << false;
}

void TNetworkTest::contentDecoderTakesBodiesInAnyPieces()
{
    QFETCH(QByteArray, coding);
    QFETCH(QByteArray, body);
    QFETCH(QByteArray, expected);
    QFETCH(bool, valid);

    for (const int pieceSize : {1, 1000, 100000}) {
        TContentDecoder decoder(coding, -1);
        QByteArray decoded;
        bool ok = true;
        for (int offset = 0; offset < body.size() && ok; offset += pieceSize) {
            decoder.feed(body.mid(offset, pieceSize));
            // Portions of at most the size asked for, until the fed bytes are used up.
            for (int before = -1; ok && decoded.size() != before;) {
                before = decoded.size();
                ok = decoder.decode(decoded, 777);
                QVERIFY(decoded.size() - before <= 777);
            }
        }
        ok = ok && decoder.finish();
        QCOMPARE(ok, valid);
        if (valid) {
            QCOMPARE(decoded, expected);
            QCOMPARE(decoder.pendingBytes(), qint64(0));
        } else {
            QVERIFY(expected.startsWith(decoded));
            QCOMPARE(decoder.error(), QNetworkReply::ProtocolFailure);
        }
    }
}

QTEST_MAIN(TNetworkTest)
#include "tst_network.moc"
