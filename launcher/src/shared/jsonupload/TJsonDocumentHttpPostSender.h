#pragma once

#include <QByteArray>
#include <QJsonDocument>
#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

class QNetworkAccessManager;

namespace shared {

/// Posts JSON documents through a network access manager of its own and reports the raw outcome of
/// every reply of that manager with finished(). One sender serves one upload at a time; callers
/// that send several documents at once use one sender each.
class TJsonDocumentHttpPostSender : public QObject
{
    Q_OBJECT

public:
    /// A reply that receives no data for this long fails (QNetworkReply::OperationCanceledError).
    static constexpr int DefaultTransferTimeoutMs = 60000;
    static const QByteArray DefaultContentDisposition;
    /// Cap of an answer; a server's answer to an upload is a short status document.
    static constexpr qint64 DefaultMaxAnswerBytes = 1024 * 1024;

    explicit TJsonDocumentHttpPostSender(QObject* parent = nullptr);
    ~TJsonDocumentHttpPostSender() override;

    /// Posts the document with content type "application/json" and the configured body format and
    /// content disposition. The answer arrives through finished().
    virtual void send(const QUrl& url, const QJsonDocument& document);

    /// Compact (the default) or indented body.
    void setJsonFormat(QJsonDocument::JsonFormat format) { m_jsonFormat = format; }
    QJsonDocument::JsonFormat jsonFormat() const { return m_jsonFormat; }
    /// The content disposition header value; an empty value leaves the header out.
    void setContentDisposition(const QByteArray& disposition) { m_contentDisposition = disposition; }
    QByteArray contentDisposition() const { return m_contentDisposition; }
    /// Inactivity time-out for posts sent from now on; 0 disables it.
    void setTransferTimeout(int milliseconds) { m_transferTimeoutMs = milliseconds; }
    int transferTimeout() const { return m_transferTimeoutMs; }
    /// Answers longer than this fail with QNetworkReply::UnknownContentError; below 0: no cap.
    void setMaxAnswerBytes(qint64 maxBytes) { m_maxAnswerBytes = maxBytes; }
    qint64 maxAnswerBytes() const { return m_maxAnswerBytes; }

signals:
    // NOLINTBEGIN(readability-identifier-naming)
    void finished(QNetworkReply::NetworkError NetworkErrorCode, QString NetworkErrorString, QByteArray ReplyFromServer);
    // NOLINTEND(readability-identifier-naming)

public slots:
    void onFinished(QNetworkReply* reply);

private:
    std::shared_ptr<QNetworkAccessManager> m_networkAccessManager;
    QJsonDocument::JsonFormat m_jsonFormat = QJsonDocument::Compact;
    QByteArray m_contentDisposition = DefaultContentDisposition;
    int m_transferTimeoutMs = DefaultTransferTimeoutMs;
    qint64 m_maxAnswerBytes = DefaultMaxAnswerBytes;
};

} // namespace shared
