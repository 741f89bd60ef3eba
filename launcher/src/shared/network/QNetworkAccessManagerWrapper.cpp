#include "network/QNetworkAccessManagerWrapper.h"

#include "network/QNetworkReplyWrapper.h"
#include "network/SslErrorText.h"
#include "network/TReplyGuard.h"

#include <QAbstractNetworkCache>
#include <QAuthenticator>
#include <QDebug>
#include <QNetworkReply>

#include <algorithm>

namespace shared {

QNetworkAccessManagerWrapper::QNetworkAccessManagerWrapper(std::shared_ptr<QNetworkAccessManager> manager)
    : m_manager(std::move(manager))
{
    if (m_manager) {
        connect(m_manager.get(), &QNetworkAccessManager::authenticationRequired, this,
                &QNetworkAccessManagerWrapper::authenticationRequired);
        // Qt then refuses the connection with only "SSL handshake failed"; these lines say why.
        connect(m_manager.get(), &QNetworkAccessManager::sslErrors, this,
                [](QNetworkReply* reply, const QList<QSslError>& errors) {
                    for (const QString& line : sslErrorLines(reply->url(), errors))
                        qWarning().noquote() << line;
                });
    }
}

QNetworkAccessManagerWrapper::~QNetworkAccessManagerWrapper() = default;

QNetworkReplyWrapper* QNetworkAccessManagerWrapper::get(const QNetworkRequest& request)
{
    if (!m_manager) {
        return nullptr;
    }
    QNetworkRequest sent(request);
    // Qt inflates a gzip body in its network thread, without any bound, unless the request names
    // its own Accept-Encoding. With the value Qt would send the server answers as before, and the
    // reply wrapper decodes within the response cap.
    if (!sent.hasRawHeader("Accept-Encoding")) {
        sent.setRawHeader("Accept-Encoding", "gzip, deflate");
    }
    QNetworkReply* reply = m_manager->get(sent);
    if (reply) {
        // Connected first, so that the guard has judged a reply before the wrapper reports it.
        TReplyGuard* guard = TReplyGuard::ensure(reply);
        guard->setMaxBytes(request.attribute(TReplyGuard::MaxBytesAttribute, qint64(-1)).toLongLong());
        guard->setMinimumThroughput(m_minimumThroughputBytes, m_minimumThroughputWindowMs);
        guard->setIdleTimeout(request.attribute(TReplyGuard::IdleTimeoutAttribute, 0).toInt());
    }
    auto* wrapper = new QNetworkReplyWrapper(reply);
    if (reply) {
        // errorOccurred is Qt 5.15's name for the reply's error(code) signal. The wrapper's error()
        // gives the guard's reason in place of Qt's "canceled" for a reply the guard aborted.
        connect(reply, &QNetworkReply::errorOccurred, wrapper,
                [wrapper](QNetworkReply::NetworkError) { emit wrapper->error(wrapper->error()); });
        connect(reply, &QNetworkReply::finished, wrapper, [wrapper] { emit wrapper->finished(); });
        connect(reply, &QNetworkReply::downloadProgress, wrapper,
                [wrapper](qint64 bytesReceived, qint64) { emit wrapper->progress(bytesReceived); });
    }
    return wrapper;
}

void QNetworkAccessManagerWrapper::setCache(QAbstractNetworkCache* cache)
{
    if (m_manager) {
        m_manager->setCache(cache);
    }
}

void QNetworkAccessManagerWrapper::setRedirectPolicy(QNetworkRequest::RedirectPolicy policy)
{
    if (m_manager) {
        m_manager->setRedirectPolicy(policy);
    }
}

void QNetworkAccessManagerWrapper::setMinimumThroughput(qint64 minBytes, int windowMs)
{
    m_minimumThroughputBytes = std::max<qint64>(0, minBytes);
    m_minimumThroughputWindowMs = std::max(0, windowMs);
}

} // namespace shared
