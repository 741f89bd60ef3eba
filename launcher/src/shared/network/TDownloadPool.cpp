#include "network/TDownloadPool.h"

#include "network/QNetworkReplyWrapper.h"
#include "network/TDownloadRateLimiter.h"
#include "network/TReplyGuard.h"

#include <QAbstractNetworkCache>
#include <QNetworkRequest>
#include <QPointer>

#include <algorithm>
#include <limits>
#include <utility>

namespace shared {

namespace {

/// Identifies the connection pool Qt uses for url; empty for schemes without connection limit.
QString hostKey(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    if (scheme == QLatin1String("http")) {
        return scheme + QLatin1Char(' ') + url.host() + QLatin1Char(':') + QString::number(url.port(80));
    }
    if (scheme == QLatin1String("https")) {
        return scheme + QLatin1Char(' ') + url.host() + QLatin1Char(':') + QString::number(url.port(443));
    }
    return {};
}

bool hasNetworkScheme(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https");
}

} // namespace

qint64 TDownloadPool::maxResponseBytesFor(quint64 expectedBytes)
{
    if (expectedBytes == 0 || expectedBytes > quint64(std::numeric_limits<qint64>::max() - ExpectedSizeSlackBytes)) {
        return DefaultMaxResponseBytes;
    }
    return static_cast<qint64>(expectedBytes) + ExpectedSizeSlackBytes;
}

TDownloadPool::TDownloadPool(int limit, std::shared_ptr<QNetworkAccessManagerWrapper> manager, bool autoRelease)
    : m_networkAccessManager(std::move(manager)), m_maxParallelRequests(limit), m_autoRelease(autoRelease),
      m_startableHosts(TCountingLess{&m_queueWork})
{
    qRegisterMetaType<QNetworkReply::NetworkError>();
    if (m_networkAccessManager) {
        m_networkAccessManager->setRedirectPolicy(QNetworkRequest::NoLessSafeRedirectPolicy);
    }
}

TDownloadPool::~TDownloadPool()
{
    // Dropped here rather than by the member destructors, so that anything the manager emits while
    // it goes away finds no running request instead of a half-destroyed pool.
    if (m_rateLimiter) {
        for (auto reply = m_requestStates.keyBegin(); reply != m_requestStates.keyEnd(); ++reply) {
            m_rateLimiter->forget(*reply);
        }
    }
    m_requestStates.clear();
    m_queuedRequests.clear();
    m_startableHosts.clear();
    m_hosts.clear();
    m_runningRequests.clear();
    m_networkAccessManager.reset();
}

void TDownloadPool::addRequest(const QUrl& url)
{
    addRequest(url, m_maxResponseBytes);
}

void TDownloadPool::addRequest(const QUrl& url, qint64 maxResponseBytes)
{
    const QUrl strict(url.toString(QUrl::FullyEncoded), QUrl::StrictMode);
    // Other schemes would let a downloaded document make the launcher read local files.
    if (!strict.isValid() || strict.isRelative() || !hasNetworkScheme(strict)) {
        emit failed(url, QNetworkReply::ProtocolInvalidOperationError, QStringLiteral("Invalid URL"));
        return;
    }
    enqueue(url, maxResponseBytes, false);
}

void TDownloadPool::addPriorityRequest(const QUrl& url)
{
    enqueue(url, m_maxResponseBytes, true);
}

void TDownloadPool::setMaxParallelRequests(int limit)
{
    m_maxParallelRequests = limit;
    if (limit > 0) {
        startQueuedRequests();
    }
}

int TDownloadPool::maxParallelRequests() const
{
    return m_maxParallelRequests;
}

int TDownloadPool::runningRequestCount() const
{
    return m_runningRequests.size();
}

int TDownloadPool::requestCount() const
{
    return m_queuedRequests.size() + m_runningRequests.size();
}

void TDownloadPool::setCache(QAbstractNetworkCache* cache)
{
    if (m_networkAccessManager) {
        m_networkAccessManager->setCache(cache);
    }
}

void TDownloadPool::releaseRequest(const QUrl& url)
{
    if (m_runningRequests.remove(url) > 0) {
        startQueuedRequests();
    }
}

void TDownloadPool::setTransferTimeout(int milliseconds)
{
    m_transferTimeoutMs = std::max(0, milliseconds);
}

int TDownloadPool::transferTimeout() const
{
    return m_transferTimeoutMs;
}

void TDownloadPool::setMaxResponseBytes(qint64 maxBytes)
{
    m_maxResponseBytes = maxBytes;
}

qint64 TDownloadPool::maxResponseBytes() const
{
    return m_maxResponseBytes;
}

void TDownloadPool::setMinimumThroughput(qint64 minBytes, int windowMs)
{
    if (m_networkAccessManager) {
        m_networkAccessManager->setMinimumThroughput(minBytes, windowMs);
    }
}

void TDownloadPool::cancelRequest(const QUrl& url)
{
    takeQueued(url);
    if (!m_runningRequests.contains(url)) {
        return;
    }
    // No longer current, so the error and finished signals of the abort report nothing.
    if (QNetworkReplyWrapper* reply = m_runningRequests.take(url)) {
        const TRequestStatePtr state = m_requestStates.value(reply);
        if (state && state->finished) {
            // Finished already, with its last bytes waiting for the limiter: nothing to abort.
            disposeReply(reply);
        } else {
            reply->abort();
        }
    }
    startQueuedRequests();
}

void TDownloadPool::setRateLimiter(std::shared_ptr<TDownloadRateLimiter> limiter)
{
    if (limiter == m_rateLimiter) {
        return;
    }
    disconnect(m_rateLimiterConnection);
    std::shared_ptr<TDownloadRateLimiter> previous = std::exchange(m_rateLimiter, std::move(limiter));
    if (m_rateLimiter) {
        m_rateLimiterConnection = connect(m_rateLimiter.get(), &TDownloadRateLimiter::rateChanged, this,
                                          &TDownloadPool::restartUnmeteredRequests);
    }
    // Replies that waited for the previous limiter read on under the new one.
    for (auto it = m_requestStates.cbegin(); previous && it != m_requestStates.cend(); ++it) {
        if (it.value()->waiting) {
            previous->forget(it.key());
            it.value()->waiting = false;
            QMetaObject::invokeMethod(
                this,
                [this, reply = it.key(), state = it.value()] {
                    if (m_requestStates.value(reply) == state) {
                        readGranted(reply, state);
                    }
                },
                Qt::QueuedConnection);
        }
    }
    restartUnmeteredRequests();
}

bool TDownloadPool::isQueued(const QUrl& url) const
{
    ++m_queueWork;
    return m_queuedRequests.contains(url);
}

void TDownloadPool::enqueue(const QUrl& url, qint64 maxResponseBytes, bool atFront)
{
    takeQueued(url);
    if (m_runningRequests.contains(url)) {
        return;
    }
    const auto host = m_hosts.try_emplace(hostKey(url), &m_queueWork).first;
    TQueuedRequest queued;
    queued.position = atFront ? m_nextFrontPosition-- : m_nextBackPosition++;
    queued.maxResponseBytes = maxResponseBytes;
    queued.hostKey = host->first; // shares the host's text instead of one copy per URL
    host->second.queue.emplace(queued.position, url);
    ++m_queueWork;
    m_queuedRequests.insert(url, queued);
    updateStartable(host);
    startQueuedRequests();
}

std::optional<TDownloadPool::TQueuedRequest> TDownloadPool::takeQueued(const QUrl& url)
{
    ++m_queueWork;
    const auto found = m_queuedRequests.find(url);
    if (found == m_queuedRequests.end()) {
        return std::nullopt;
    }
    TQueuedRequest queued = found.value();
    m_queuedRequests.erase(found);
    const auto host = m_hosts.find(queued.hostKey);
    host->second.queue.erase(queued.position);
    updateStartable(host);
    return queued;
}

void TDownloadPool::startQueuedRequests()
{
    // The virtual accessors are read on purpose, so a derived pool can change the throttle.
    // Queue order holds among the URLs of one host; a host without a free connection is skipped.
    while (runningRequestCount() < maxParallelRequests() && !m_startableHosts.empty()) {
        const auto host = m_hosts.find(m_startableHosts.begin()->second);
        const QUrl url = host->second.queue.begin()->second;
        // Taken off the queue before the start, which may report and so re-enter the pool.
        const std::optional<TQueuedRequest> queued = takeQueued(url);
        startRequest(url, *queued);
    }
}

bool TDownloadPool::hasFreeConnection(const THostMap::value_type& host)
{
    return host.first.isEmpty() || host.second.requestsOnWire < MaxRequestsOnWirePerHost;
}

void TDownloadPool::updateStartable(THostMap::iterator host)
{
    THost& state = host->second;
    std::optional<qint64> startablePosition;
    if (!state.queue.empty() && hasFreeConnection(*host)) {
        startablePosition = state.queue.begin()->first;
    }
    if (startablePosition != state.listedPosition) {
        if (state.listedPosition) {
            m_startableHosts.erase(*state.listedPosition);
        }
        if (startablePosition) {
            m_startableHosts.emplace(*startablePosition, host->first);
        }
        state.listedPosition = startablePosition;
    }
    if (state.queue.empty() && state.requestsOnWire <= 0) {
        m_hosts.erase(host);
    }
}

void TDownloadPool::releaseConnection(const QString& hostKey)
{
    if (hostKey.isEmpty()) {
        return;
    }
    const auto host = m_hosts.find(hostKey);
    if (host == m_hosts.end()) {
        return;
    }
    if (host->second.requestsOnWire > 0) {
        --host->second.requestsOnWire;
    }
    updateStartable(host);
}

void TDownloadPool::startRequest(const QUrl& url, const TQueuedRequest& queued)
{
    if (!hasNetworkScheme(url)) {
        emit failed(url, QNetworkReply::ProtocolInvalidOperationError, QStringLiteral("Invalid URL"));
        return;
    }
    const bool metered = m_rateLimiter && m_rateLimiter->isLimited();
    QNetworkRequest request(url);
    if (metered) {
        // Qt's own time-out would count the time the limiter keeps the reply full as idle.
        request.setAttribute(TReplyGuard::IdleTimeoutAttribute, m_transferTimeoutMs);
        // A body received in place would bypass the bounded read buffer.
        request.setAttribute(QNetworkRequest::MaximumDownloadBufferSizeAttribute, 0);
    } else {
        // Without it a connection that stops delivering data would hold its slot forever.
        request.setTransferTimeout(m_transferTimeoutMs);
    }
    request.setAttribute(TReplyGuard::MaxBytesAttribute, queued.maxResponseBytes);
    QNetworkReplyWrapper* reply = m_networkAccessManager ? m_networkAccessManager->get(request) : nullptr;
    if (!reply) {
        emit failed(url, QNetworkReply::UnknownNetworkError, QStringLiteral("No network access manager"));
        return;
    }

    const auto state = std::make_shared<TRequestState>();
    state->hostKey = queued.hostKey;
    state->maxResponseBytes = queued.maxResponseBytes;
    state->metered = metered;
    m_requestStates.insert(reply, state);
    if (!state->hostKey.isEmpty()) {
        const auto host = m_hosts.try_emplace(state->hostKey, &m_queueWork).first;
        ++host->second.requestsOnWire;
        updateStartable(host);
    }
    connect(reply, &QNetworkReplyWrapper::finished, this, [this, reply, state] { onReplyFinished(reply, state); });
    connect(reply, qOverload<QNetworkReply::NetworkError>(&QNetworkReplyWrapper::error), this,
            [this, reply, state](QNetworkReply::NetworkError) { onReplyError(reply, state); });
    connect(reply, &QNetworkReplyWrapper::progress, this,
            [this, reply](qint64 bytesReceived) { onReplyProgress(reply, bytesReceived); });
    if (metered) {
        reply->setReadBufferSize(LimitedReadBufferBytes);
        // A caller's cap is the known size plus a little: the body then grows without copies.
        if (queued.maxResponseBytes > 0 && queued.maxResponseBytes != DefaultMaxResponseBytes) {
            state->body.reserve(static_cast<int>(std::min<qint64>(queued.maxResponseBytes, DefaultMaxResponseBytes)));
        }
        connect(reply, &QNetworkReplyWrapper::readyRead, this, [this, reply, state] { readGranted(reply, state); });
    }
    m_runningRequests.insert(url, reply);
}

void TDownloadPool::onReplyFinished(QNetworkReplyWrapper* reply, const TRequestStatePtr& state)
{
    releaseConnection(state->hostKey);
    if (state->metered && !state->reported && reply->error() == QNetworkReply::NoError &&
        isCurrent(reply, reply->url())) {
        // The body is complete once its last unread bytes were granted; the connection is free now.
        state->finished = true;
        readGranted(reply, state);
        startQueuedRequests();
        return;
    }
    completeReply(reply, state);
}

void TDownloadPool::completeReply(QNetworkReplyWrapper* reply, const TRequestStatePtr& state)
{
    const QUrl url = reply->url();
    const bool current = isCurrent(reply, url);
    if (current && m_autoRelease) {
        m_runningRequests.remove(url);
    }
    if (current && !state->reported) {
        report(url, reply, state);
    }
    if (current && !m_autoRelease) {
        // The entry keeps the slot until releaseRequest, without the reply that is going away.
        m_runningRequests.insert(url, nullptr);
    }
    disposeReply(reply);
    // Also without a freed slot: a connection to the reply's host became free.
    startQueuedRequests();
}

void TDownloadPool::disposeReply(QNetworkReplyWrapper* reply)
{
    if (m_rateLimiter) {
        m_rateLimiter->forget(reply);
    }
    m_requestStates.remove(reply);
    reply->dispose();
}

void TDownloadPool::readGranted(QNetworkReplyWrapper* reply, const TRequestStatePtr& state)
{
    if (state->waiting) {
        return;
    }
    if (!isCurrent(reply, reply->url())) {
        // Cancelled or replaced; a running one still reports its abort through finished.
        if (state->finished) {
            completeReply(reply, state);
        }
        return;
    }
    for (qint64 available = reply->bytesAvailable(); available > 0; available = reply->bytesAvailable()) {
        const qint64 granted = m_rateLimiter ? m_rateLimiter->acquire(reply, available) : available;
        if (granted > 0) {
            state->body.append(reply->read(granted));
        }
        if (granted < available) {
            state->waiting = true;
            reply->setHeld(true);
            m_rateLimiter->wait(reply, this, [this, reply, state] {
                state->waiting = false;
                readGranted(reply, state);
            });
            return;
        }
    }
    reply->setHeld(false);
    if (state->finished) {
        completeReply(reply, state);
    }
}

void TDownloadPool::restartUnmeteredRequests()
{
    if (!m_rateLimiter || !m_rateLimiter->isLimited()) {
        return;
    }
    const QMap<QUrl, QNetworkReplyWrapper*> running = m_runningRequests;
    for (auto it = running.cbegin(); it != running.cend(); ++it) {
        const TRequestStatePtr state = it.value() ? m_requestStates.value(it.value()) : nullptr;
        if (!state || state->metered || state->reported) {
            continue;
        }
        // Queued at the front before the old reply goes, so that no other request takes the slot.
        m_runningRequests.remove(it.key());
        enqueue(it.key(), state->maxResponseBytes, true);
        it.value()->abort();
    }
}

void TDownloadPool::onReplyError(QNetworkReplyWrapper* reply, const TRequestStatePtr& state)
{
    const QUrl url = reply->url();
    if (!isCurrent(reply, url) || state->reported) {
        return;
    }
    if (m_autoRelease) {
        m_runningRequests.remove(url);
    }
    report(url, reply, state);
    if (m_autoRelease) {
        startQueuedRequests();
    }
}

void TDownloadPool::onReplyProgress(QNetworkReplyWrapper* reply, qint64 bytesReceived)
{
    const QUrl url = reply->url();
    if (isCurrent(reply, url)) {
        emit progress(url, bytesReceived);
    }
}

bool TDownloadPool::isCurrent(const QNetworkReplyWrapper* reply, const QUrl& url) const
{
    const auto running = m_runningRequests.constFind(url);
    return running != m_runningRequests.constEnd() && running.value() == reply;
}

void TDownloadPool::report(const QUrl& url, QNetworkReplyWrapper* reply, const TRequestStatePtr& state)
{
    state->reported = true;
    const QNetworkReply::NetworkError code = reply->error();
    if (code != QNetworkReply::NoError) {
        emit failed(url, code, reply->errorString());
    } else {
        m_reportedFinalUrl = reply->finalUrl();
        // A metered reply was read into its state already; the rest (all of any other) is unread.
        QByteArray data = std::move(state->body);
        data.append(reply->readAll());
        // A listener may end the pool's owner; only a surviving pool forgets the URL.
        const QPointer<TDownloadPool> self(this);
        emit success(url, data);
        if (self)
            m_reportedFinalUrl.clear();
    }
}

} // namespace shared
