#pragma once

#include "jsonupload/TJsonDocumentHttpPostSender.h"

#include <QByteArray>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

namespace shared {

/// Uploads a JSON document through a sender and judges the endpoint's answer: a network or HTTP
/// error, an answer that is not JSON, or a non-zero "errorCode" in the answer is a failure; anything
/// else is a success. The last failure stays readable through errorCode() and errorMessage().
class TJsonDocumentUploaderBase : public QObject
{
    Q_OBJECT

public:
    /// errorCode() when the answer was not valid JSON.
    static constexpr int InvalidAnswerErrorCode = -100;

    explicit TJsonDocumentUploaderBase(std::shared_ptr<TJsonDocumentHttpPostSender> sender);
    ~TJsonDocumentUploaderBase() override;

    /// Hands the document to the sender; finished() follows once the answer is in.
    virtual void upload(const QUrl& url, const QJsonDocument& document);

    std::shared_ptr<TJsonDocumentHttpPostSender> sender() const { return m_sender; }
    /// Text of the last failure; null before the first answer and after a success.
    QString errorMessage() const { return m_errorMessage; }
    /// 0, InvalidAnswerErrorCode, or the "errorCode" the server answered with.
    int errorCode() const { return m_errorCode; }

signals:
    // NOLINTBEGIN(readability-identifier-naming)
    void finished(bool UploadSuccessful, QJsonDocument ReplyFromServer);
    // NOLINTEND(readability-identifier-naming)

public slots:
    void onFinished(QNetworkReply::NetworkError networkErrorCode, QString networkErrorString,
                    QByteArray replyFromServer);

private:
    /// Judges an answer that arrived without a network error; returns whether it was accepted.
    bool evaluateAnswer(const QByteArray& answer, QJsonDocument& result);

    std::shared_ptr<TJsonDocumentHttpPostSender> m_sender;
    QString m_errorMessage;
    int m_errorCode = 0;
};

} // namespace shared
