#include "network/TDownloadPool.h"

#include "network/QNetworkReplyWrapper.h"
#include "network/TReplyGuard.h"

#include <QAbstractNetworkCache>
#include <QNetworkRequest>
#include <QPointer>

#include <algorithm>
#include <limits>

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
        reply->abort();
    }
    startQueuedRequests();
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
    QNetworkRequest request(url);
    // Without it a connection that stops delivering data would hold its slot forever.
    request.setTransferTimeout(m_transferTimeoutMs);
    request.setAttribute(TReplyGuard::MaxBytesAttribute, queued.maxResponseBytes);
    QNetworkReplyWrapper* reply = m_networkAccessManager ? m_networkAccessManager->get(request) : nullptr;
    if (!reply) {
        emit failed(url, QNetworkReply::UnknownNetworkError, QStringLiteral("No network access manager"));
        return;
    }

    const auto state = std::make_shared<TRequestState>();
    state->hostKey = queued.hostKey;
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
    m_runningRequests.insert(url, reply);
}

void TDownloadPool::onReplyFinished(QNetworkReplyWrapper* reply, const TRequestStatePtr& state)
{
    releaseConnection(state->hostKey);
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
    reply->dispose();
    // Also without a freed slot: a connection to the reply's host became free.
    startQueuedRequests();
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
        const QByteArray data = reply->readAll();
        // A listener may end the pool's owner; only a surviving pool forgets the URL.
        const QPointer<TDownloadPool> self(this);
        emit success(url, data);
        if (self)
            m_reportedFinalUrl.clear();
    }
}

} // namespace shared
