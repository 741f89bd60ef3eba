#include "network/QNetworkReplyWrapper.h"

namespace shared {

QNetworkReplyWrapper::QNetworkReplyWrapper(QNetworkReply* reply)
    : QObject(reply), m_reply(reply), m_requestedUrl(reply ? reply->request().url() : QUrl())
{}

QNetworkReplyWrapper::~QNetworkReplyWrapper() = default;

QNetworkReply::NetworkError QNetworkReplyWrapper::error() const
{
    return m_reply ? m_reply->error() : QNetworkReply::UnknownNetworkError;
}

QString QNetworkReplyWrapper::errorString() const
{
    return m_reply ? m_reply->errorString() : QStringLiteral("No network reply");
}

QByteArray QNetworkReplyWrapper::readAll()
{
    return m_reply ? m_reply->readAll() : QByteArray();
}

QUrl QNetworkReplyWrapper::url() const
{
    return m_requestedUrl;
}

void QNetworkReplyWrapper::dispose()
{
    if (m_reply) {
        m_reply->deleteLater();
    } else {
        deleteLater();
    }
}

} // namespace shared
