// Times the download pool's queue operations for many URLs: adding them (with the host's
// connections busy, as in a large install), asking whether each is queued, moving some to the
// front, and cancelling them all. The server accepts connections and never answers, so no request
// ever frees a slot and only the pool's bookkeeping is measured.
// Usage: bench_pool_queue [COUNT ...]   (default 10000 100000)
#include "network/QNetworkAccessManagerWrapper.h"
#include "network/TDownloadPool.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QTcpServer>
#include <QUrl>

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <vector>

namespace {

/// The number of requests a package download keeps in flight by default.
constexpr int ParallelRequests = 10;

double secondsOf(QElapsedTimer& timer)
{
    const double seconds = static_cast<double>(timer.nsecsElapsed()) / 1e9;
    timer.restart();
    return seconds;
}

bool runOnce(quint16 port, int count)
{
    shared::TDownloadPool pool(
        ParallelRequests,
        std::make_shared<shared::QNetworkAccessManagerWrapper>(std::make_shared<QNetworkAccessManager>()), false);
    std::vector<QUrl> urls;
    urls.reserve(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        urls.emplace_back(QStringLiteral("http://127.0.0.1:%1/chunks/%2").arg(port).arg(i, 8, 16, QLatin1Char('0')));
    }

    QElapsedTimer timer;
    timer.start();
    for (const QUrl& url : urls) {
        pool.addRequest(url);
    }
    const double addSeconds = secondsOf(timer);
    int queued = 0;
    for (const QUrl& url : urls) {
        queued += pool.isQueued(url) ? 1 : 0;
    }
    const double lookupSeconds = secondsOf(timer);
    // Every tenth URL jumps the queue, as a retried or urgent request does.
    for (std::size_t i = 0; i < urls.size(); i += 10) {
        pool.addPriorityRequest(urls[i]);
    }
    const double prioritySeconds = secondsOf(timer);
    for (auto url = urls.rbegin(); url != urls.rend(); ++url) {
        pool.cancelRequest(*url);
    }
    const double cancelSeconds = secondsOf(timer);

    std::printf("%8d URLs: add %8.3f s, isQueued %8.3f s, priority %8.3f s, cancel %8.3f s, total %8.3f s"
                " (%d queued after adding, %d left)\n",
                count, addSeconds, lookupSeconds, prioritySeconds, cancelSeconds,
                addSeconds + lookupSeconds + prioritySeconds + cancelSeconds, queued, pool.requestCount());
    return pool.requestCount() == 0 && queued == count - shared::TDownloadPool::MaxRequestsOnWirePerHost;
}

} // namespace

int main(int argc, char* argv[])
{
    QCoreApplication application(argc, argv);
    QTcpServer server; // never accepts: connections wait in the backlog, requests never end
    if (!server.listen(QHostAddress::LocalHost)) {
        std::fprintf(stderr, "bench_pool_queue: cannot listen on 127.0.0.1\n");
        return 1;
    }
    std::vector<int> counts;
    for (int i = 1; i < argc; ++i) {
        counts.push_back(std::atoi(argv[i]));
    }
    if (counts.empty()) {
        counts = {10000, 100000};
    }
    bool consistent = true;
    for (const int count : counts) {
        consistent = runOnce(server.serverPort(), count) && consistent;
    }
    if (!consistent) {
        std::fprintf(stderr, "bench_pool_queue: the pool's counts do not match the requests made\n");
        return 1;
    }
    return 0;
}
