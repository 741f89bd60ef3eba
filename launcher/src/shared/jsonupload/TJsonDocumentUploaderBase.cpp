#include "TJsonDocumentUploaderBase.h"

#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

namespace shared {

TJsonDocumentUploaderBase::TJsonDocumentUploaderBase(std::shared_ptr<TJsonDocumentHttpPostSender> sender)
    : m_sender(std::move(sender))
{
    if (m_sender) {
        connect(m_sender.get(), &TJsonDocumentHttpPostSender::finished, this, &TJsonDocumentUploaderBase::onFinished);
    }
}

TJsonDocumentUploaderBase::~TJsonDocumentUploaderBase()
{
    // A sender shared with others keeps living; its later answers are not ours.
    if (m_sender) {
        m_sender->disconnect(this);
    }
}

void TJsonDocumentUploaderBase::upload(const QUrl& url, const QJsonDocument& document)
{
    if (!m_sender) {
        // Without a sender nothing can go out; report it like any failed transfer.
        onFinished(QNetworkReply::UnknownNetworkError, QStringLiteral("No sender to upload the document with"), {});
        return;
    }
    m_sender->send(url, document);
}

void TJsonDocumentUploaderBase::onFinished(QNetworkReply::NetworkError networkErrorCode, QString networkErrorString,
                                           QByteArray replyFromServer)
{
    QJsonDocument result;
    m_errorMessage = QString();
    m_errorCode = 0;
    bool successful = false;
    if (networkErrorCode != QNetworkReply::NoError) {
        m_errorMessage = networkErrorString;
    } else {
        successful = evaluateAnswer(replyFromServer, result);
    }
    emit finished(successful, result);
}

bool TJsonDocumentUploaderBase::evaluateAnswer(const QByteArray& answer, QJsonDocument& result)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(answer, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        m_errorMessage = parseError.errorString();
        m_errorCode = InvalidAnswerErrorCode;
        return false;
    }
    result = document;
    // An array answer has no "errorCode" and so counts as accepted.
    const QJsonObject object = document.object();
    const int serverErrorCode = object.value(QLatin1String("errorCode")).toInt(0);
    if (serverErrorCode == 0) {
        return true;
    }
    m_errorCode = serverErrorCode;
    m_errorMessage = object.value(QLatin1String("errorMessage")).toString();
    return false;
}

} // namespace shared
