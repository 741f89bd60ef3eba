#include "cdntrace/TCloudflareCdnTrace.h"
#include "network/QNetworkAccessManagerWrapper.h"
#include "network/TDownloadPool.h"
#include "support/TTestHttpServer.h"

#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using orvan::launcher::TCloudflareCdnTrace;
using shared::QNetworkAccessManagerWrapper;
using shared::TDownloadPool;
using testsupport::TTestHttpResponse;
using testsupport::TTestHttpServer;

namespace {

std::shared_ptr<TDownloadPool> makePool()
{
    auto manager = std::make_shared<QNetworkAccessManagerWrapper>(std::make_shared<QNetworkAccessManager>());
    return std::make_shared<TDownloadPool>(4, manager, true);
}

const QByteArray TypicalTrace = "fl=29f44\n"
                                "h=cdn.example.net\n"
                                "ip=203.0.113.7\n"
                                "ts=1712345678.123\n"
                                "visit_scheme=https\n"
                                "uag=Mozilla/5.0\n"
                                "colo=FRA\n"
                                "http=http/2\n"
                                "loc=DE\n"
                                "tls=TLSv1.3\n";

struct TFlags
{
    bool received;
    bool failed;
    bool requested;
};

void compareFlags(const TCloudflareCdnTrace& trace, TFlags expected)
{
    QCOMPARE(trace.isReceived(), expected.received);
    QCOMPARE(trace.isFailed(), expected.failed);
    QCOMPARE(trace.isRequested(), expected.requested);
}

} // namespace

class TCdnTraceTest : public QObject
{
    Q_OBJECT

private slots:
    void parsesTraceDocument_data();
    void parsesTraceDocument();
    void isRequestedOnceAndNotRefreshed();
    void emptyOrInvalidUrlFailsAtOnceWithoutRequest_data();
    void emptyOrInvalidUrlFailsAtOnceWithoutRequest();
    void failedAnswerKeepsValuesAndIsNotRetried_data();
    void failedAnswerKeepsValuesAndIsNotRetried();
    void ignoresOtherUrlsOfThePool();
    void unrequestedFailureOfAnEmptyUrlIsIgnored();

private:
    TTestHttpServer m_server;
};

void TCdnTraceTest::parsesTraceDocument_data()
{
    QTest::addColumn<QByteArray>("document");
    // fl, ts, colo, ip
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("typical") << TypicalTrace << QStringList{"29f44", "1712345678.123", "FRA", "203.0.113.7"};
    QTest::newRow("crlf line ends") << QByteArray("fl=1a\r\nts=99.5\r\ncolo=AMS\r\nip=::1\r\n")
                                    << QStringList{"1a", "99.5", "AMS", "::1"};
    QTest::newRow("keys in capitals") << QByteArray("FL=7\nTs=8\ncoLO=LHR\nIP=10.0.0.1\n")
                                      << QStringList{"7", "8", "LHR", "10.0.0.1"};
    // "ip=" gives a single part and "colo=a=b" three: neither counts, so ip keeps the earlier line's value.
    // Empty parts are dropped before counting, so "fl==x" is read as fl = x.
    QTest::newRow("malformed lines skipped")
        << QByteArray("ip=192.0.2.1\nip=\ncolo=a=b\nfl==x\nts\n\n\n") << QStringList{"x", "", "", "192.0.2.1"};
    QTest::newRow("last line wins, whitespace trimmed")
        << QByteArray("colo=FRA\ncolo=  CDG \t\nfl=1\nfl=2") << QStringList{"2", "", "CDG", ""};
    QTest::newRow("text ends at zero byte")
        << QByteArray("fl=abc\ncolo=SIN\n\0ip=6.6.6.6\n", 27) << QStringList{"abc", "", "SIN", ""};
    QTest::newRow("keys are not trimmed") << QByteArray(" fl=1\nts =2\n") << QStringList{"", "", "", ""};
    QTest::newRow("empty document") << QByteArray() << QStringList{"", "", "", ""};
}

void TCdnTraceTest::parsesTraceDocument()
{
    QFETCH(QByteArray, document);
    QFETCH(QStringList, expected);

    m_server.setContent("/cdn-cgi/trace", document, "text/plain");
    TCloudflareCdnTrace trace(makePool(), m_server.url("/cdn-cgi/trace"));
    QSignalSpy spy(&trace, &TCloudflareCdnTrace::diagnosticsTraceReceived);

    trace.requestTrace();
    compareFlags(trace, {false, false, true});
    QVERIFY(spy.wait());

    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().first().toBool(), false);
    compareFlags(trace, {true, false, false});
    QCOMPARE((QStringList{trace.fl(), trace.ts(), trace.colo(), trace.ip()}), expected);
}

void TCdnTraceTest::isRequestedOnceAndNotRefreshed()
{
    m_server.clearLog();
    m_server.setResponse("/trace-once", TTestHttpResponse().body(TypicalTrace, "text/plain").held());
    auto pool = makePool();
    TCloudflareCdnTrace trace(pool, m_server.url("/trace-once"));
    QSignalSpy spy(&trace, &TCloudflareCdnTrace::diagnosticsTraceReceived);

    trace.requestTrace();
    trace.requestTrace();
    QTRY_COMPARE(m_server.heldCount("/trace-once"), 1);
    trace.requestTrace();
    compareFlags(trace, {false, false, true});
    QCOMPARE(m_server.releaseHeld("/trace-once"), 1);
    QVERIFY(spy.wait());

    // A received trace is final: no second request, no second signal.
    trace.requestTrace();
    QCOMPARE(pool->requestCount(), 0);
    QCOMPARE(m_server.requestCount("/trace-once"), 1);
    QCOMPARE(spy.count(), 1);
    QCOMPARE(trace.colo(), QString("FRA"));
}

void TCdnTraceTest::emptyOrInvalidUrlFailsAtOnceWithoutRequest_data()
{
    QTest::addColumn<QUrl>("url");
    QTest::newRow("empty") << QUrl();
    QTest::newRow("invalid") << QUrl("http://exa mple.com:abc/");
}

void TCdnTraceTest::emptyOrInvalidUrlFailsAtOnceWithoutRequest()
{
    QFETCH(QUrl, url);
    QVERIFY(!url.isValid());
    auto pool = makePool();
    QSignalSpy poolFailures(pool.get(), &TDownloadPool::failed);
    TCloudflareCdnTrace trace(pool, url);
    QSignalSpy spy(&trace, &TCloudflareCdnTrace::diagnosticsTraceReceived);

    trace.requestTrace();

    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().first().toBool(), true);
    compareFlags(trace, {false, true, false});
    QCOMPARE(pool->requestCount(), 0);
    QCOMPARE(poolFailures.count(), 0);

    trace.requestTrace();
    QCOMPARE(spy.count(), 1);
}

void TCdnTraceTest::failedAnswerKeepsValuesAndIsNotRetried_data()
{
    QTest::addColumn<TTestHttpResponse>("response");
    QTest::newRow("http error") << TTestHttpResponse().status(503).body("busy");
    QTest::newRow("endless answer") << TTestHttpResponse().body(TypicalTrace).endless();
}

void TCdnTraceTest::failedAnswerKeepsValuesAndIsNotRetried()
{
    QFETCH(TTestHttpResponse, response);
    m_server.clearLog();
    m_server.setResponse("/trace-broken", response);
    auto pool = makePool();
    TCloudflareCdnTrace trace(pool, m_server.url("/trace-broken"));
    QSignalSpy spy(&trace, &TCloudflareCdnTrace::diagnosticsTraceReceived);

    trace.requestTrace();
    QVERIFY(spy.wait());
    QCOMPARE(spy.count(), 1);
    QCOMPARE(spy.first().first().toBool(), true);
    compareFlags(trace, {false, true, false});
    QVERIFY(trace.fl().isEmpty() && trace.ip().isEmpty());

    trace.requestTrace();
    QCOMPARE(pool->requestCount(), 0);
    QCOMPARE(m_server.requestCount("/trace-broken"), 1);
    QCOMPARE(spy.count(), 1);
}

void TCdnTraceTest::ignoresOtherUrlsOfThePool()
{
    m_server.setContent("/trace-mine", TypicalTrace, "text/plain");
    m_server.setContent("/config.json", "fl=other\ncolo=NOPE\n", "application/json");
    m_server.setResponse("/image.png", TTestHttpResponse().status(404));
    auto pool = makePool();
    TCloudflareCdnTrace trace(pool, m_server.url("/trace-mine"));
    QSignalSpy traceSpy(&trace, &TCloudflareCdnTrace::diagnosticsTraceReceived);
    QSignalSpy successSpy(pool.get(), &TDownloadPool::success);
    QSignalSpy failedSpy(pool.get(), &TDownloadPool::failed);

    pool->addRequest(m_server.url("/config.json"));
    pool->addRequest(m_server.url("/image.png"));
    QTRY_COMPARE(successSpy.count() + failedSpy.count(), 2);
    QCOMPARE(traceSpy.count(), 0);
    compareFlags(trace, {false, false, false});
    QVERIFY(trace.colo().isEmpty());

    trace.requestTrace();
    QVERIFY(traceSpy.wait());
    QCOMPARE(trace.colo(), QString("FRA"));

    // Later results for other addresses leave the received values alone.
    pool->addRequest(m_server.url("/config.json"));
    QTRY_COMPARE(successSpy.count(), 3);
    QCOMPARE(traceSpy.count(), 1);
    QCOMPARE(trace.colo(), QString("FRA"));
    compareFlags(trace, {true, false, false});
}

void TCdnTraceTest::unrequestedFailureOfAnEmptyUrlIsIgnored()
{
    // Another user of the pool asking for an empty address must not fail a trace that has no address either.
    auto pool = makePool();
    TCloudflareCdnTrace trace(pool, QUrl());
    QSignalSpy traceSpy(&trace, &TCloudflareCdnTrace::diagnosticsTraceReceived);
    QSignalSpy failedSpy(pool.get(), &TDownloadPool::failed);

    pool->addRequest(QUrl());
    QCOMPARE(failedSpy.count(), 1);
    QCOMPARE(traceSpy.count(), 0);
    compareFlags(trace, {false, false, false});
}

QTEST_GUILESS_MAIN(TCdnTraceTest)
#include "tst_cdntrace.moc"
