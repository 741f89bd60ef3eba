#include "network/QNetworkReplyWrapper.h"

#include "network/TContentDecoder.h"
#include "network/TReplyGuard.h"

#include <algorithm>
#include <utility>

namespace shared {

QNetworkReplyWrapper::QNetworkReplyWrapper(QNetworkReply* reply)
    : QObject(reply), m_reply(reply), m_requestedUrl(reply ? reply->request().url() : QUrl())
{
    if (reply) {
        connect(reply, &QNetworkReply::readyRead, this, &QNetworkReplyWrapper::onReplyReadyRead);
        // Before any user of finished() reads the body: the end of the stream is checked here.
        connect(reply, &QNetworkReply::finished, this, &QNetworkReplyWrapper::onReplyFinished);
    }
}

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
    if (!isDecoding()) {
        return m_reply ? m_reply->readAll() : QByteArray();
    }
    decodeAvailable(0);
    return std::exchange(m_decoded, QByteArray());
}

qint64 QNetworkReplyWrapper::bytesAvailable() const
{
    if (isDecoding()) {
        return m_decoded.size();
    }
    return m_reply ? m_reply->bytesAvailable() : 0;
}

QByteArray QNetworkReplyWrapper::read(qint64 maxBytes)
{
    if (!isDecoding()) {
        return m_reply ? m_reply->read(maxBytes) : QByteArray();
    }
    const QByteArray part = m_decoded.left(static_cast<int>(std::min<qint64>(maxBytes, m_decoded.size())));
    m_decoded.remove(0, part.size());
    decodeAvailable(m_reply->readBufferSize());
    return part;
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

void QNetworkReplyWrapper::onReplyReadyRead()
{
    chooseDecoding();
    if (!isDecoding()) {
        emit readyRead();
        return;
    }
    const int before = m_decoded.size();
    decodeAvailable(m_reply->readBufferSize());
    if (m_decoded.size() > before) {
        emit readyRead();
    }
}

void QNetworkReplyWrapper::onReplyFinished()
{
    chooseDecoding();
    decodeAvailable(m_reply->readBufferSize());
}

void QNetworkReplyWrapper::chooseDecoding()
{
    if (m_decodingChosen) {
        return;
    }
    m_decodingChosen = true;
    // The body of an error or of a redirect is never used as a document; it stays as it came.
    const QVariant status = m_reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid() && (status.toInt() < 200 || status.toInt() >= 300)) {
        return;
    }
    const QByteArray encoding = m_reply->rawHeader("Content-Encoding");
    if (TContentDecoder::codingOf(encoding) == TContentDecoder::ECoding::Identity) {
        return;
    }
    const TReplyGuard* guard = TReplyGuard::of(m_reply);
    m_decoder = std::make_unique<TContentDecoder>(encoding, guard ? guard->maxBytes() : -1);
    if (m_decoder->hasFailed()) {
        failDecoding();
    }
}

void QNetworkReplyWrapper::decodeAvailable(qint64 limit)
{
    if (!isDecoding() || m_decodingDone) {
        return;
    }
    while (limit <= 0 || m_decoded.size() < limit) {
        // New input only once the decoder has used up most of what it holds.
        QByteArray raw;
        if (m_decoder->pendingBytes() < TContentDecoder::PortionBytes && m_reply->isReadable()) {
            raw = m_reply->read(TContentDecoder::PortionBytes);
            m_decoder->feed(raw);
        }
        const int before = m_decoded.size();
        const qint64 room = limit > 0 ? limit - m_decoded.size() : TContentDecoder::PortionBytes;
        if (!m_decoder->decode(m_decoded, room)) {
            failDecoding();
            return;
        }
        if (raw.isEmpty() && m_decoded.size() == before) {
            break;
        }
    }
    const bool bodyComplete = m_reply->isFinished() && m_reply->error() == QNetworkReply::NoError &&
                              m_reply->bytesAvailable() == 0 && m_decoder->pendingBytes() == 0;
    if (bodyComplete) {
        m_decodingDone = true;
        if (!m_decoder->finish()) {
            failDecoding();
        }
    }
}

void QNetworkReplyWrapper::failDecoding()
{
    m_decodingDone = true;
    m_decoded.clear();
    TReplyGuard::ensure(m_reply)->abortWith(m_decoder->error(), m_decoder->errorString());
}

} // namespace shared
