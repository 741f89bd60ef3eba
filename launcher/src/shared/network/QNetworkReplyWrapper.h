#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

namespace shared {

class TContentDecoder;

/// Wraps one QNetworkReply behind virtual operations and re-emits its error, finished and download
/// progress signals in reduced form. The wrapper is a child of its reply: destroying the reply
/// destroys the wrapper, destroying the wrapper leaves the reply alone.
///
/// A successful response sent with Content-Encoding gzip or deflate is decoded here (Qt leaves it
/// alone once the request names its own Accept-Encoding): bytesAvailable, read and readAll give
/// decoded bytes. The decoded body is capped by the reply guard's limit, and the wrapper holds at
/// most the reply's read buffer size of it unread (no bound without one). A body that breaks a
/// limit or cannot be decoded aborts the reply with the reason, as the guard does.
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
    /// Body bytes received and not read yet, decoded.
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
    void onReplyReadyRead();
    void onReplyFinished();
    /// Chooses between passing the body through and decoding it, once its headers are final.
    void chooseDecoding();
    bool isDecoding() const { return m_decoder != nullptr; }
    /// Decodes what the reply holds until limit bytes wait unread (0: all of it); checks the end
    /// of the stream once the whole body went through.
    void decodeAvailable(qint64 limit);
    void failDecoding();

    QNetworkReply* m_reply;
    // Kept apart from the reply's request, which a followed redirect may rewrite.
    QUrl m_requestedUrl;
    bool m_decodingChosen = false;
    bool m_decodingDone = false;
    std::unique_ptr<TContentDecoder> m_decoder;
    /// Decoded bytes not read yet.
    QByteArray m_decoded;
};

} // namespace shared
