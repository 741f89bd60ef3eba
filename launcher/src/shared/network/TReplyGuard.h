#pragma once

#include <QNetworkReply>
#include <QNetworkRequest>
#include <QObject>
#include <QString>
#include <QTimer>

namespace shared {

/// Watches one reply and aborts it once its body passes a size cap (the declared Content-Length
/// or the bytes received, counted as they arrive, before any content decoding) or once it receives fewer than a
/// minimum number of bytes in a window of time. The reason is kept, so that whoever reports the
/// reply can give it instead of Qt's "Operation canceled". The guard is a child of its reply.
class TReplyGuard : public QObject
{
    Q_OBJECT

public:
    /// A request attribute (qint64) naming the response cap; QNetworkAccessManagerWrapper::get
    /// gives it to the reply's guard. It is not sent.
    static constexpr QNetworkRequest::Attribute MaxBytesAttribute =
        static_cast<QNetworkRequest::Attribute>(QNetworkRequest::User + 0x51);
    /// A request attribute (int, milliseconds) for setIdleTimeout; it is not sent.
    static constexpr QNetworkRequest::Attribute IdleTimeoutAttribute =
        static_cast<QNetworkRequest::Attribute>(QNetworkRequest::User + 0x52);

    /// maxBytes below 0 means no cap.
    TReplyGuard(QNetworkReply* reply, qint64 maxBytes);
    ~TReplyGuard() override;

    /// The guard of reply, or nullptr when it has none.
    static TReplyGuard* of(const QNetworkReply* reply);
    /// The guard of reply, created without a cap when it has none.
    static TReplyGuard* ensure(QNetworkReply* reply);

    void setMaxBytes(qint64 maxBytes);
    qint64 maxBytes() const { return m_maxBytes; }
    /// From now on every window of windowMs must bring at least minBytes; 0 for either turns it off.
    void setMinimumThroughput(qint64 minBytes, int windowMs);
    /// The reply fails as Qt's own transfer time-out does (OperationCanceledError) when no byte
    /// arrives for this long while it is not held; 0 turns it off.
    void setIdleTimeout(int milliseconds);
    /// A held reply is kept waiting by its reader (whose buffer it filled): neither the idle
    /// time-out nor the minimum throughput counts that time against it.
    void setHeld(bool held);
    bool isHeld() const { return m_held; }

    /// True once the guard found a limit broken (the reply is then aborted or about to be).
    bool hasAborted() const { return m_error != QNetworkReply::NoError; }
    QNetworkReply::NetworkError error() const { return m_error; }
    QString errorString() const { return m_errorString; }
    /// Records the reason, unless one stands already, and aborts the reply while it runs.
    void abortWith(QNetworkReply::NetworkError code, const QString& text);
    /// The reason given for a response over a cap of maxBytes.
    static QString capReason(qint64 maxBytes);

private:
    void onMetaDataChanged();
    void onBytesReceived(qint64 bytesReceived);
    void onWindowElapsed();
    void restartIdleTimer();
    void onFinished();
    bool exceedsCap(qint64 bytes) const;
    void checkSize(qint64 bytes);
    void recordReason(QNetworkReply::NetworkError code, const QString& text);
    void abortReply();

    QNetworkReply* m_reply;
    qint64 m_maxBytes;
    qint64 m_minBytesPerWindow = 0;
    qint64 m_bytesReceived = 0;
    qint64 m_bytesAtWindowStart = 0;
    QTimer m_windowTimer;
    QTimer m_idleTimer;
    bool m_held = false;
    /// Whether the reply was held at some time in the current throughput window.
    bool m_heldInWindow = false;
    QNetworkReply::NetworkError m_error = QNetworkReply::NoError;
    QString m_errorString;
};

} // namespace shared
