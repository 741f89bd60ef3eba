#include "network/QNetworkAccessManagerWrapper.h"

#include "network/QNetworkReplyWrapper.h"

#include <QAbstractNetworkCache>
#include <QAuthenticator>
#include <QNetworkReply>

namespace shared {

QNetworkAccessManagerWrapper::QNetworkAccessManagerWrapper(std::shared_ptr<QNetworkAccessManager> manager)
    : m_manager(std::move(manager))
{
    if (m_manager) {
        connect(m_manager.get(), &QNetworkAccessManager::authenticationRequired, this,
                &QNetworkAccessManagerWrapper::authenticationRequired);
    }
}

QNetworkAccessManagerWrapper::~QNetworkAccessManagerWrapper() = default;

QNetworkReplyWrapper* QNetworkAccessManagerWrapper::get(const QNetworkRequest& request)
{
    if (!m_manager) {
        return nullptr;
    }
    QNetworkReply* reply = m_manager->get(request);
    auto* wrapper = new QNetworkReplyWrapper(reply);
    if (reply) {
        // errorOccurred is Qt 5.15's name for the reply's error(code) signal.
        connect(reply, &QNetworkReply::errorOccurred, wrapper,
                [wrapper](QNetworkReply::NetworkError code) { emit wrapper->error(code); });
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

} // namespace shared
