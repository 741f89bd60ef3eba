// The download rate limiter, and pools that read their replies under it.
#include "network/QNetworkAccessManagerWrapper.h"
#include "network/QNetworkReplyWrapper.h"
#include "network/TDownloadPool.h"
#include "network/TDownloadRateLimiter.h"
#include "support/TTestHttpServer.h"
#include "support/TestRandom.h"

#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <array>
#include <functional>
#include <memory>

using shared::QNetworkAccessManagerWrapper;
using shared::QNetworkReplyWrapper;
using shared::TDownloadPool;
using shared::TDownloadRateLimiter;
using testsupport::TTestHttpResponse;
using testsupport::TTestHttpServer;

namespace {

constexpr qint64 NsPerMs = 1000 * 1000;

/// A limiter whose time moves only when the test says so.
struct TManualClockLimiter
{
    explicit TManualClockLimiter(qint64 rate) : limiter(rate)
    {
        limiter.setClock([this] { return nowNs; });
    }
    void advanceMs(qint64 ms) { nowNs += ms * NsPerMs; }

    qint64 nowNs = 0;
    TDownloadRateLimiter limiter;
};

/// The real network access, keeping every reply it hands out so that tests can look at how the
/// pool reads them. Each reply's largest unread amount is sampled whenever it receives data.
class TObservedNetworkAccess : public QNetworkAccessManagerWrapper
{
public:
    TObservedNetworkAccess() : QNetworkAccessManagerWrapper(std::make_shared<QNetworkAccessManager>()) {}

    QNetworkReplyWrapper* get(const QNetworkRequest& request) override
    {
        QNetworkReplyWrapper* reply = QNetworkAccessManagerWrapper::get(request);
        const int index = readBufferSizes.size();
        readBufferSizes.append(-1);
        QObject::connect(reply, &QNetworkReplyWrapper::progress, reply, [this, reply, index] {
            maxUnread = std::max(maxUnread, reply->bytesAvailable());
            readBufferSizes[index] = reply->readBufferSize();
        });
        return reply;
    }

    /// Per reply in the order they were made: its read buffer size when it last received data.
    QVector<qint64> readBufferSizes;
    qint64 maxUnread = 0;
};

QMap<QUrl, QByteArray> bodiesOf(const QSignalSpy& succeeded)
{
    QMap<QUrl, QByteArray> bodies;
    for (const QList<QVariant>& arguments : succeeded) {
        bodies.insert(arguments.at(0).toUrl(), arguments.at(1).toByteArray());
    }
    return bodies;
}

} // namespace

class TRateLimitTest : public QObject
{
    Q_OBJECT

private slots:
    void grantsFollowTheBucket();
    void rateChangesTakeEffectAtOnce();
    void unlimitedGrantsEverythingAndWakesWaiters();
    void waitingReadersTakeTurns();
    void limitedPoolDeliversWholeBodiesThroughBoundedBuffers_data();
    void limitedPoolDeliversWholeBodiesThroughBoundedBuffers();
    void heldRepliesDoNotTimeOutButStalledOnesDo();
    void runningRequestsStartAgainWhenALimitStarts();
};

void TRateLimitTest::grantsFollowTheBucket()
{
    TManualClockLimiter clock(1000000);
    TDownloadRateLimiter& limiter = clock.limiter;
    const int reader = 0;
    QCOMPARE(limiter.burstBytes(), qint64(100000)); // a tenth of a second

    // {milliseconds passed, bytes wanted, bytes granted}
    const qint64 steps[][3] = {
        {0, 250000, 100000}, // a full bucket to start with
        {0, 1, 0},           {30, 50000, 30000},     {5, 1000, 1000}, {0, 4000, 4000},
        {0, 1, 0},           {800, 1000000, 100000}, // idle time refills no more than the bucket holds
        {0, 0, 0},
    };
    for (const auto& step : steps) {
        clock.advanceMs(step[0]);
        QCOMPARE(limiter.acquire(&reader, step[1]), step[2]);
    }

    // A small rate still grants a useful portion at once.
    limiter.setRate(1000);
    QCOMPARE(limiter.burstBytes(), TDownloadRateLimiter::MinBurstBytes);
}

void TRateLimitTest::rateChangesTakeEffectAtOnce()
{
    TManualClockLimiter clock(1000000);
    TDownloadRateLimiter& limiter = clock.limiter;
    QSignalSpy changed(&limiter, &TDownloadRateLimiter::rateChanged);
    const int reader = 0;
    QCOMPARE(limiter.acquire(&reader, 100000), qint64(100000));

    clock.advanceMs(20); // 20000 bytes at the old rate
    limiter.setRate(4000000);
    QCOMPARE(limiter.burstBytes(), qint64(400000));
    clock.advanceMs(20); // 80000 bytes at the new one
    QCOMPARE(limiter.acquire(&reader, 1000000), qint64(100000));

    clock.advanceMs(1000);
    limiter.setRate(100000); // what the bucket held is cut to the new burst
    QCOMPARE(limiter.acquire(&reader, 1000000), TDownloadRateLimiter::MinBurstBytes);

    limiter.setRate(100000);
    QCOMPARE(changed.count(), 2);
    QCOMPARE(changed.last().at(0).toLongLong(), qint64(100000));
}

void TRateLimitTest::unlimitedGrantsEverythingAndWakesWaiters()
{
    TManualClockLimiter clock(0);
    TDownloadRateLimiter& limiter = clock.limiter;
    const int first = 0;
    const int second = 0;
    QVERIFY(!limiter.isLimited());
    QCOMPARE(limiter.acquire(&first, qint64(1) << 40), qint64(1) << 40);

    limiter.setRate(100000);
    QCOMPARE(limiter.acquire(&first, 1000000), TDownloadRateLimiter::MinBurstBytes);
    int wakes = 0;
    QObject context;
    limiter.wait(&first, &context, [&] { wakes += limiter.acquire(&first, 1000000) == 1000000 ? 1 : 0; });
    limiter.wait(&second, &context, [&] { wakes += limiter.acquire(&second, 1000000) == 1000000 ? 1 : 0; });
    QCOMPARE(limiter.acquire(&first, 1), qint64(0)); // waiting readers get nothing out of turn

    limiter.setRate(0);
    QTRY_COMPARE(wakes, 2);
    QCOMPARE(limiter.waitingCount(), 0);
}

void TRateLimitTest::waitingReadersTakeTurns()
{
    TManualClockLimiter clock(1000000);
    TDownloadRateLimiter& limiter = clock.limiter;
    const int latecomer = 0;
    QCOMPARE(limiter.acquire(&latecomer, limiter.burstBytes()), limiter.burstBytes());

    // Three readers that always want more than a turn brings; a fourth whose context goes away.
    constexpr qint64 wanted = 30000;
    std::array<int, 3> readers{};
    std::array<qint64, 3> received{};
    QObject context;
    std::function<void(int)> waitFor = [&](int index) {
        limiter.wait(&readers[index], &context, [&, index] {
            received[index] += limiter.acquire(&readers[index], wanted);
            waitFor(index);
        });
    };
    for (int index = 0; index < 3; ++index) {
        waitFor(index);
    }
    int goneWakes = 0;
    auto gone = std::make_unique<QObject>();
    const int goneReader = 0;
    limiter.wait(&goneReader, gone.get(), [&] { ++goneWakes; });
    gone.reset();
    QCOMPARE(limiter.acquire(&latecomer, 1), qint64(0)); // no jumping the queue

    for (int round = 0; round < 50; ++round) {
        clock.advanceMs(10);
        limiter.wakeWaiting();
    }
    const qint64 total = received[0] + received[1] + received[2];
    QCOMPARE(total, qint64(500000)); // exactly the rate: 50 rounds of 10 ms at 1 MB/s
    const auto [least, most] = std::minmax_element(received.begin(), received.end());
    QVERIFY2(*most - *least <= wanted, qPrintable(QStringLiteral("%1 .. %2").arg(*least).arg(*most)));
    QCOMPARE(goneWakes, 0);
    QCOMPARE(limiter.waitingCount(), 3);
    limiter.forget(&readers[1]);
    QCOMPARE(limiter.waitingCount(), 2);
}

void TRateLimitTest::limitedPoolDeliversWholeBodiesThroughBoundedBuffers_data()
{
    QTest::addColumn<qint64>("rate");
    QTest::addColumn<qint64>("expectedReadBufferSize");
    QTest::addColumn<bool>("gzip");
    QTest::newRow("limited") << qint64(12000000) << TDownloadPool::LimitedReadBufferBytes << false;
    QTest::newRow("limited, gzip") << qint64(12000000) << TDownloadPool::LimitedReadBufferBytes << true;
    QTest::newRow("limiter at rate 0") << qint64(0) << qint64(0) << false;
}

void TRateLimitTest::limitedPoolDeliversWholeBodiesThroughBoundedBuffers()
{
    QFETCH(qint64, rate);
    QFETCH(qint64, expectedReadBufferSize);
    QFETCH(bool, gzip);
    TTestHttpServer server;
    QMap<QUrl, QByteArray> expected;
    for (int i = 0; i < 4; ++i) {
        const QString path = QStringLiteral("/chunk%1").arg(i);
        const QByteArray body = testsupport::pseudoRandom(1500000 + i * 1000, quint64(i + 1));
        expected.insert(server.url(path), body);
        // A decoded body is held in the same bound as one read as it came.
        server.setResponse(path, gzip ? TTestHttpResponse().gzipBody(body) : TTestHttpResponse().body(body));
    }
    auto access = std::make_shared<TObservedNetworkAccess>();
    TDownloadPool pool(4, access, false);
    pool.setRateLimiter(std::make_shared<TDownloadRateLimiter>(rate));
    QSignalSpy succeeded(&pool, &TDownloadPool::success);
    QSignalSpy failed(&pool, &TDownloadPool::failed);

    for (const QUrl& url : expected.keys()) {
        pool.addRequest(url, TDownloadPool::maxResponseBytesFor(quint64(expected.value(url).size())));
    }
    QTRY_COMPARE_WITH_TIMEOUT(succeeded.count(), 4, 20000);
    QCOMPARE(failed.count(), 0);
    QCOMPARE(bodiesOf(succeeded), expected);
    QCOMPARE(access->readBufferSizes, QVector<qint64>(4, expectedReadBufferSize));
    // Qt fills the buffer up to its bound plus the piece it read from the socket last; without a
    // limit nothing is read before the end, and a whole body waits.
    if (expectedReadBufferSize > 0) {
        QVERIFY2(access->maxUnread < 2 * expectedReadBufferSize, qPrintable(QString::number(access->maxUnread)));
    } else {
        QCOMPARE(access->maxUnread, qint64(expected.last().size()));
    }
}

void TRateLimitTest::heldRepliesDoNotTimeOutButStalledOnesDo()
{
    TTestHttpServer server;
    const QByteArray body = testsupport::pseudoRandom(200000, 7);
    server.setContent("/a", body);
    server.setContent("/b", body);
    server.setResponse("/stalled", TTestHttpResponse().body(body).stall());
    TDownloadPool pool(3, std::make_shared<QNetworkAccessManagerWrapper>(std::make_shared<QNetworkAccessManager>()),
                       false);
    // Each reply spends most of its time waiting for the limiter, far longer than it may be idle.
    pool.setRateLimiter(std::make_shared<TDownloadRateLimiter>(300000));
    pool.setTransferTimeout(150);
    // The stalled reply meets the idle time-out before its first throughput window ends.
    pool.setMinimumThroughput(400000, 300);
    QSignalSpy succeeded(&pool, &TDownloadPool::success);
    QSignalSpy failed(&pool, &TDownloadPool::failed);

    pool.addRequest(server.url("/a"));
    pool.addRequest(server.url("/b"));
    pool.addRequest(server.url("/stalled"));
    QTRY_COMPARE_WITH_TIMEOUT(succeeded.count() + failed.count(), 3, 20000);
    QCOMPARE(succeeded.count(), 2);
    QCOMPARE(succeeded.at(0).at(1).toByteArray(), body);
    QCOMPARE(succeeded.at(1).at(1).toByteArray(), body);
    QCOMPARE(failed.first().at(0).toUrl(), server.url("/stalled"));
    QCOMPARE(failed.first().at(1).value<QNetworkReply::NetworkError>(), QNetworkReply::OperationCanceledError);
}

void TRateLimitTest::runningRequestsStartAgainWhenALimitStarts()
{
    TTestHttpServer server;
    const QByteArray body = testsupport::pseudoRandom(400000, 3);
    server.setResponse("/slow", TTestHttpResponse().body(body).slowBody(20000, 20));
    auto access = std::make_shared<TObservedNetworkAccess>();
    TDownloadPool pool(2, access, false);
    const auto limiter = std::make_shared<TDownloadRateLimiter>(0);
    pool.setRateLimiter(limiter);
    QSignalSpy progress(&pool, &TDownloadPool::progress);
    QSignalSpy succeeded(&pool, &TDownloadPool::success);

    pool.addRequest(server.url("/slow"));
    QVERIFY(progress.wait());
    QCOMPARE(access->readBufferSizes, QVector<qint64>({0}));
    limiter->setRate(4000000);

    QVERIFY(succeeded.wait(20000));
    QCOMPARE(succeeded.count(), 1);
    QCOMPARE(succeeded.first().at(1).toByteArray(), body);
    QCOMPARE(server.requestCount("/slow"), 2);
    QCOMPARE(access->readBufferSizes, QVector<qint64>({0, TDownloadPool::LimitedReadBufferBytes}));
}

QTEST_GUILESS_MAIN(TRateLimitTest)
#include "tst_ratelimit.moc"
