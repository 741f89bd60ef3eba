#pragma once

#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QObject>

#include <memory>

class QAbstractNetworkCache;
class QAuthenticator;
class QNetworkReply;

namespace shared {

class QNetworkReplyWrapper;

/// Issues GET requests through one shared QNetworkAccessManager and hands back each reply wrapped.
/// Requests go out as the caller built them, with no time-outs or cache policy added; only a request
/// without an Accept-Encoding header gets the one Qt would send ("gzip, deflate"), so that the reply
/// wrapper, not Qt, decodes compressed bodies, within the response cap.
/// Each reply gets a guard (TReplyGuard) that enforces the minimum throughput set here and the
/// response cap set on its wrapper.
class QNetworkAccessManagerWrapper : public QObject
{
    Q_OBJECT

public:
    explicit QNetworkAccessManagerWrapper(std::shared_ptr<QNetworkAccessManager> manager);
    ~QNetworkAccessManagerWrapper() override;

    /// The returned wrapper is a child of the reply; the caller may deleteLater() it when done.
    /// A TReplyGuard::MaxBytesAttribute on the request caps the response; a
    /// TReplyGuard::IdleTimeoutAttribute gives it an idle time-out that pauses while it is held.
    /// Returns nullptr when the wrapper has no manager.
    virtual QNetworkReplyWrapper* get(const QNetworkRequest& request);
    virtual void setCache(QAbstractNetworkCache* cache);
    virtual void setRedirectPolicy(QNetworkRequest::RedirectPolicy policy);
    /// Replies from get() called from now on fail with QNetworkReply::TimeoutError when a window of
    /// windowMs brings fewer than minBytes; 0 for either turns the check off (the default).
    virtual void setMinimumThroughput(qint64 minBytes, int windowMs);
    qint64 minimumThroughputBytes() const { return m_minimumThroughputBytes; }
    int minimumThroughputWindow() const { return m_minimumThroughputWindowMs; }

signals:
    // NOLINTBEGIN(readability-identifier-naming)
    void authenticationRequired(QNetworkReply* pReply, QAuthenticator* pAuthenticator);
    // NOLINTEND(readability-identifier-naming)

private:
    std::shared_ptr<QNetworkAccessManager> m_manager;
    qint64 m_minimumThroughputBytes = 0;
    int m_minimumThroughputWindowMs = 0;
};

} // namespace shared
