#include "network/QNetworkReplyWrapper.h"

#include "network/TReplyGuard.h"

namespace shared {

QNetworkReplyWrapper::QNetworkReplyWrapper(QNetworkReply* reply)
    : QObject(reply), m_reply(reply), m_requestedUrl(reply ? reply->request().url() : QUrl())
{}

QNetworkReplyWrapper::~QNetworkReplyWrapper() = default;

QNetworkReply::NetworkError QNetworkReplyWrapper::error() const
{
    if (const TReplyGuard* guard = TReplyGuard::of(m_reply); guard && guard->hasAborted()) {
        return guard->error();
    }
    return m_reply ? m_reply->error() : QNetworkReply::UnknownNetworkError;
}

QString QNetworkReplyWrapper::errorString() const
{
    if (const TReplyGuard* guard = TReplyGuard::of(m_reply); guard && guard->hasAborted()) {
        return guard->errorString();
    }
    return m_reply ? m_reply->errorString() : QStringLiteral("No network reply");
}

QByteArray QNetworkReplyWrapper::readAll()
{
    return m_reply ? m_reply->readAll() : QByteArray();
}

qint64 QNetworkReplyWrapper::bytesAvailable() const
{
    return m_reply ? m_reply->bytesAvailable() : 0;
}

QByteArray QNetworkReplyWrapper::read(qint64 maxBytes)
{
    return m_reply ? m_reply->read(maxBytes) : QByteArray();
}

void QNetworkReplyWrapper::setReadBufferSize(qint64 bytes)
{
    if (m_reply) {
        m_reply->setReadBufferSize(bytes);
    }
}

qint64 QNetworkReplyWrapper::readBufferSize() const
{
    return m_reply ? m_reply->readBufferSize() : 0;
}

void QNetworkReplyWrapper::setHeld(bool held)
{
    if (TReplyGuard* guard = TReplyGuard::of(m_reply)) {
        guard->setHeld(held);
    }
}

QUrl QNetworkReplyWrapper::url() const
{
    return m_requestedUrl;
}

QUrl QNetworkReplyWrapper::finalUrl() const
{
    return m_reply ? m_reply->url() : m_requestedUrl;
}

void QNetworkReplyWrapper::abort()
{
    if (m_reply) {
        m_reply->abort();
    }
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
