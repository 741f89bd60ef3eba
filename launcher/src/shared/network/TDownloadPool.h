#pragma once

#include "network/QNetworkAccessManagerWrapper.h"
#include "network/TNetworkAccessManagerAuthenticationHandler.h"

#include <QByteArray>
#include <QHash>
#include <QMap>
#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <QUrl>

#include <map>
#include <memory>
#include <optional>
#include <unordered_map>

class QAbstractNetworkCache;

namespace shared {

class QNetworkReplyWrapper;
class TDownloadRateLimiter;

/// The one way to GET a URL: a queue of URLs with a limit on how many requests run at once.
/// Outcomes are broadcast with the requested URL (also after redirects); every listener ignores
/// URLs it did not ask for. The pool never retries; callers decide. Each request is reported
/// exactly once, through success or failed.
///
/// With autoRelease a reported request frees its slot at once; without it the request keeps its
/// slot until releaseRequest(url), which bounds the downloaded data a slow consumer holds.
class TDownloadPool : public QObject
{
    Q_OBJECT

public:
    /// A request that receives no data for this long fails (QNetworkReply::OperationCanceledError).
    static constexpr int DefaultTransferTimeoutMs = 60000;
    /// Connections Qt's network access manager opens to one HTTP host; requests beyond it wait in
    /// the pool's queue, not in the manager's, where the inactivity time-out would already run.
    static constexpr int MaxRequestsOnWirePerHost = 6;
    /// Cap of a response body when the caller names none.
    static constexpr qint64 DefaultMaxResponseBytes = 64 * 1024 * 1024;
    /// Allowance on top of a known size, for a server that pads or frames the body differently.
    static constexpr qint64 ExpectedSizeSlackBytes = 64 * 1024;
    /// Unread bytes a reply may hold while a rate limit applies; Qt stops reading its socket beyond.
    static constexpr qint64 LimitedReadBufferBytes = 128 * 1024;

    /// The cap for a body of a known size; an unknown size (0) gets DefaultMaxResponseBytes.
    static qint64 maxResponseBytesFor(quint64 expectedBytes);

    TDownloadPool(int limit, std::shared_ptr<QNetworkAccessManagerWrapper> manager, bool autoRelease);
    ~TDownloadPool() override;

    /// Queues url at the back and starts what the limit allows. An invalid or relative URL, or one
    /// whose scheme is not http or https, is refused with failed(url, ProtocolInvalidOperationError,
    /// "Invalid URL") before this returns. A queued URL moves to the back; a running one is left alone.
    /// The response may have up to maxResponseBytes() bytes.
    virtual void addRequest(const QUrl& url);
    /// As addRequest(url), with a cap of its own for this response. A response that declares or
    /// delivers more is aborted and reported once with failed(url, UnknownContentError, ...).
    void addRequest(const QUrl& url, qint64 maxResponseBytes);
    /// As addRequest, but to the front of the queue and without validation.
    virtual void addPriorityRequest(const QUrl& url);
    /// A limit of 0 or less holds every queued request; raising it starts them.
    virtual void setMaxParallelRequests(int limit);
    virtual int maxParallelRequests() const;
    virtual int runningRequestCount() const;
    /// Queued plus running requests.
    virtual int requestCount() const;
    virtual void setCache(QAbstractNetworkCache* cache);
    /// Frees the slot of url (reported or still running) and starts what the limit allows.
    virtual void releaseRequest(const QUrl& url);
    /// Inactivity time-out for requests started from now on; 0 disables it.
    virtual void setTransferTimeout(int milliseconds);
    virtual int transferTimeout() const;

    /// The cap that addRequest(url) and addPriorityRequest give a response; below 0: none.
    void setMaxResponseBytes(qint64 maxBytes);
    qint64 maxResponseBytes() const;
    /// Requests started from now on fail with QNetworkReply::TimeoutError when a window of windowMs
    /// brings fewer than minBytes (forwarded to the manager wrapper); 0 for either turns it off.
    void setMinimumThroughput(qint64 minBytes, int windowMs);
    /// Drops url from the queue, or stops its running request, without reporting anything for it.
    void cancelRequest(const QUrl& url);
    /// Shares the rate of limiter with the other pools it is attached to. While it limits, each
    /// reply holds at most LimitedReadBufferBytes unread and is read only as fast as the limiter
    /// grants; time spent waiting for a grant does not count as idle. Requests running when a limit
    /// starts are started again under it. Without a limiter, or at rate 0, replies are read as
    /// they always were.
    void setRateLimiter(std::shared_ptr<TDownloadRateLimiter> limiter);
    const std::shared_ptr<TDownloadRateLimiter>& rateLimiter() const { return m_rateLimiter; }
    /// Whether url waits in the queue (added, not started yet).
    bool isQueued(const QUrl& url) const;
    /// Comparisons and look-ups of queue entries made so far: the queue's work, counted rather than
    /// timed, so that a caller can check how it grows with the number of requests.
    quint64 queueWork() const { return m_queueWork; }
    /// While success(url, data) is being emitted: the URL the data came from, which differs from
    /// url after followed redirects; documents resolve their relative URLs against it. Empty at
    /// any other time.
    const QUrl& reportedFinalUrl() const { return m_reportedFinalUrl; }

signals:
    // NOLINTBEGIN(readability-identifier-naming)
    void success(QUrl url, QByteArray data);
    void failed(QUrl url, QNetworkReply::NetworkError code, QString errorString);
    void progress(QUrl Url, qint64 BytesReceivedFromRequest);
    // NOLINTEND(readability-identifier-naming)

private:
    struct TRequestState
    {
        QString hostKey;
        bool reported = false;
        qint64 maxResponseBytes = 0;
        /// Read in portions that the rate limiter grants, into body.
        bool metered = false;
        /// Waits for the limiter's next grant.
        bool waiting = false;
        /// Qt has finished the reply; its last unread bytes wait for grants.
        bool finished = false;
        QByteArray body;
    };
    using TRequestStatePtr = std::shared_ptr<TRequestState>;

    /// Orders queue positions and counts every comparison as queue work.
    struct TCountingLess
    {
        quint64* work;
        bool operator()(qint64 left, qint64 right) const
        {
            ++*work;
            return left < right;
        }
    };
    /// Queue positions in start order (lowest first) mapped to what waits there.
    template <typename T> using TQueueOrder = std::map<qint64, T, TCountingLess>;

    /// A waiting URL: its position in the queue, its response cap and the host it needs a connection to.
    struct TQueuedRequest
    {
        qint64 position = 0;
        qint64 maxResponseBytes = 0;
        QString hostKey;
    };
    /// One connection pool of Qt's manager (scheme, host and port): the URLs that wait for it in
    /// queue order and its unfinished replies. Empty key: schemes without a connection limit.
    struct THost
    {
        explicit THost(quint64* work) : queue(TCountingLess{work}) {}
        TQueueOrder<QUrl> queue;
        int requestsOnWire = 0;
        /// The key of this host in m_startableHosts, while it is listed there.
        std::optional<qint64> listedPosition;
    };
    using THostMap = std::unordered_map<QString, THost>;

    void enqueue(const QUrl& url, qint64 maxResponseBytes, bool atFront);
    /// Removes url from the queue and returns its entry; nothing when it was not queued.
    std::optional<TQueuedRequest> takeQueued(const QUrl& url);
    void startQueuedRequests();
    void startRequest(const QUrl& url, const TQueuedRequest& queued);
    static bool hasFreeConnection(const THostMap::value_type& host);
    /// Lists the host's first waiting URL as startable when it has one and a free connection, and
    /// forgets the host once nothing waits for it and nothing of it is on the wire.
    void updateStartable(THostMap::iterator host);
    void releaseConnection(const QString& hostKey);
    void onReplyFinished(QNetworkReplyWrapper* reply, const TRequestStatePtr& state);
    /// Reports a finished reply when it is still current, frees what it holds and starts what may start.
    void completeReply(QNetworkReplyWrapper* reply, const TRequestStatePtr& state);
    void disposeReply(QNetworkReplyWrapper* reply);
    /// Reads as much of a metered reply as the limiter grants; waits for the next grant otherwise.
    void readGranted(QNetworkReplyWrapper* reply, const TRequestStatePtr& state);
    /// Starts the running requests that are read without limit again, under the limit.
    void restartUnmeteredRequests();
    void onReplyError(QNetworkReplyWrapper* reply, const TRequestStatePtr& state);
    void onReplyProgress(QNetworkReplyWrapper* reply, qint64 bytesReceived);
    /// True when reply is the request currently registered for its URL (not a released or replaced one).
    bool isCurrent(const QNetworkReplyWrapper* reply, const QUrl& url) const;
    void report(const QUrl& url, QNetworkReplyWrapper* reply, const TRequestStatePtr& state);

    std::shared_ptr<QNetworkAccessManagerWrapper> m_networkAccessManager;
    QMap<QUrl, QNetworkReplyWrapper*> m_runningRequests;
    int m_maxParallelRequests;
    TNetworkAccessManagerAuthenticationHandler m_authenticationHandler;
    bool m_autoRelease;
    int m_transferTimeoutMs = DefaultTransferTimeoutMs;
    qint64 m_maxResponseBytes = DefaultMaxResponseBytes;
    QUrl m_reportedFinalUrl;
    mutable quint64 m_queueWork = 0;
    std::shared_ptr<TDownloadRateLimiter> m_rateLimiter;
    QMetaObject::Connection m_rateLimiterConnection;
    /// The state of every reply that is not disposed of yet.
    QHash<QNetworkReplyWrapper*, TRequestStatePtr> m_requestStates;
    /// Every waiting URL. Its order is kept per host, since a URL can start only when its host has a
    /// free connection: the next URL to start is the first of the startable hosts' first URLs.
    QHash<QUrl, TQueuedRequest> m_queuedRequests;
    THostMap m_hosts;
    /// The position of each host's first waiting URL, for the hosts with a free connection.
    TQueueOrder<QString> m_startableHosts;
    /// Positions given to the next URL added at the back and at the front.
    qint64 m_nextBackPosition = 0;
    qint64 m_nextFrontPosition = -1;
};

} // namespace shared
