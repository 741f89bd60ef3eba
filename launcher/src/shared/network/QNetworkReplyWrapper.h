#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <QUrl>

namespace shared {

/// Wraps one QNetworkReply behind virtual operations and re-emits its error, finished and download
/// progress signals in reduced form. The wrapper is a child of its reply: destroying the reply
/// destroys the wrapper, destroying the wrapper leaves the reply alone.
class QNetworkReplyWrapper : public QObject
{
    Q_OBJECT

public:
    explicit QNetworkReplyWrapper(QNetworkReply* reply);
    ~QNetworkReplyWrapper() override;

    /// The reason the reply's guard aborted it, else the reply's own error.
    virtual QNetworkReply::NetworkError error() const;
    virtual QString errorString() const;
    virtual QByteArray readAll();
    /// Body bytes received and not read yet.
    virtual qint64 bytesAvailable() const;
    virtual QByteArray read(qint64 maxBytes);
    /// Bounds the bytes the reply holds unread; with a bound, Qt stops reading the socket while the
    /// reply is full. 0: unbounded.
    virtual void setReadBufferSize(qint64 bytes);
    virtual qint64 readBufferSize() const;
    /// While held, the reader keeps the reply waiting on purpose: its guard counts no idle time.
    virtual void setHeld(bool held);
    /// The URL that was asked for, not the one reached after redirects.
    virtual QUrl url() const;
    /// The URL the response came from: after followed redirects the last one, else url().
    virtual QUrl finalUrl() const;
    /// Stops the transfer; the reply then emits error and finished with OperationCanceledError.
    virtual void abort();
    /// Schedules the reply for deletion, and with it this wrapper; without a reply only the wrapper.
    /// Users that are done with a finished reply call this so replies don't pile up in the manager.
    virtual void dispose();

signals:
    // NOLINTBEGIN(readability-identifier-naming)
    void error(QNetworkReply::NetworkError code);
    void finished();
    /// New body bytes can be read.
    void readyRead();
    void progress(qint64 BytesReceivedFromRequest);
    // NOLINTEND(readability-identifier-naming)

private:
    QNetworkReply* m_reply;
    // Kept apart from the reply's request, which a followed redirect may rewrite.
    QUrl m_requestedUrl;
};

} // namespace shared
