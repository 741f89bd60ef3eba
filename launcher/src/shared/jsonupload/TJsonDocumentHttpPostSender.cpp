#include "TJsonDocumentHttpPostSender.h"

#include "network/TReplyGuard.h"

#include <QNetworkAccessManager>
#include <QNetworkRequest>

namespace shared {

const QByteArray TJsonDocumentHttpPostSender::DefaultContentDisposition =
    QByteArrayLiteral("form-data; name=\"metadata\"");

TJsonDocumentHttpPostSender::TJsonDocumentHttpPostSender(QObject* parent)
    : QObject(parent), m_networkAccessManager(std::make_shared<QNetworkAccessManager>())
{
    connect(m_networkAccessManager.get(), &QNetworkAccessManager::finished, this,
            &TJsonDocumentHttpPostSender::onFinished);
}

TJsonDocumentHttpPostSender::~TJsonDocumentHttpPostSender()
{
    // The manager outlives this destructor body; replies it aborts while it goes away must not
    // reach a half-destroyed sender.
    m_networkAccessManager->disconnect(this);
}

void TJsonDocumentHttpPostSender::send(const QUrl& url, const QJsonDocument& document)
{
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QByteArrayLiteral("application/json"));
    if (!m_contentDisposition.isEmpty()) {
        request.setHeader(QNetworkRequest::ContentDispositionHeader, m_contentDisposition);
    }
    request.setTransferTimeout(m_transferTimeoutMs);
    QNetworkReply* reply = m_networkAccessManager->post(request, document.toJson(m_jsonFormat));
    new TReplyGuard(reply, m_maxAnswerBytes);
}

void TJsonDocumentHttpPostSender::onFinished(QNetworkReply* reply)
{
    // An aborted reply (time-out, or an answer over the cap) is closed already and has nothing to read.
    const QByteArray answer = reply->isReadable() ? reply->readAll() : QByteArray();
    if (const TReplyGuard* guard = TReplyGuard::of(reply); guard && guard->hasAborted()) {
        emit finished(guard->error(), guard->errorString(), QByteArray());
    } else {
        emit finished(reply->error(), reply->errorString(), answer);
    }
    reply->deleteLater();
}

} // namespace shared
