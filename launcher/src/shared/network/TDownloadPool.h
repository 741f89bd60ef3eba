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

#include <deque>
#include <memory>

class QAbstractNetworkCache;

namespace shared {

class QNetworkReplyWrapper;

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

    TDownloadPool(int limit, std::shared_ptr<QNetworkAccessManagerWrapper> manager, bool autoRelease);
    ~TDownloadPool() override;

    /// Queues url at the back and starts what the limit allows. An invalid or relative URL is
    /// refused with failed(url, ProtocolInvalidOperationError, "Invalid URL") before this returns.
    /// A queued URL moves to the back; a running one is left alone.
    virtual void addRequest(const QUrl& url);
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

signals:
    void success(QUrl url, QByteArray data);
    void failed(QUrl url, QNetworkReply::NetworkError code, QString errorString);
    void progress(QUrl Url, qint64 BytesReceivedFromRequest);

private:
    struct TRequestState
    {
        QString hostKey;
        bool reported = false;
    };
    using TRequestStatePtr = std::shared_ptr<TRequestState>;

    void enqueue(const QUrl& url, bool atFront);
    void startQueuedRequests();
    void startRequest(const QUrl& url);
    bool hostHasFreeConnection(const QUrl& url) const;
    void onReplyFinished(QNetworkReplyWrapper* reply, const TRequestStatePtr& state);
    void onReplyError(QNetworkReplyWrapper* reply, const TRequestStatePtr& state);
    void onReplyProgress(QNetworkReplyWrapper* reply, qint64 bytesReceived);
    /// True when reply is the request currently registered for its URL (not a released or replaced one).
    bool isCurrent(const QNetworkReplyWrapper* reply, const QUrl& url) const;
    void report(const QUrl& url, QNetworkReplyWrapper* reply, const TRequestStatePtr& state);

    std::shared_ptr<QNetworkAccessManagerWrapper> m_networkAccessManager;
    QMap<QUrl, QNetworkReplyWrapper*> m_runningRequests;
    int m_maxParallelRequests;
    std::deque<QUrl> m_queuedUrls;
    TNetworkAccessManagerAuthenticationHandler m_authenticationHandler;
    bool m_autoRelease;
    int m_transferTimeoutMs = DefaultTransferTimeoutMs;
    /// Unfinished HTTP(S) replies per scheme, host and port, released ones included.
    QHash<QString, int> m_requestsOnWire;
};

} // namespace shared
