#include "network/TReplyGuard.h"

#include <algorithm>

namespace shared {

TReplyGuard::TReplyGuard(QNetworkReply* reply, qint64 maxBytes) : QObject(reply), m_reply(reply), m_maxBytes(maxBytes)
{
    connect(reply, &QNetworkReply::metaDataChanged, this, &TReplyGuard::onMetaDataChanged);
    // Qt reports progress at most every 100 ms, a fast server sends a lot in that time; readyRead
    // comes with every piece that arrives.
    connect(reply, &QNetworkReply::readyRead, this, [this] { onBytesReceived(m_reply->bytesAvailable()); });
    connect(reply, &QNetworkReply::downloadProgress, this,
            [this](qint64 bytesReceived, qint64) { onBytesReceived(bytesReceived); });
    connect(reply, &QNetworkReply::finished, this, &TReplyGuard::onFinished);
    connect(&m_windowTimer, &QTimer::timeout, this, &TReplyGuard::onWindowElapsed);
    m_idleTimer.setSingleShot(true);
    connect(&m_idleTimer, &QTimer::timeout, this,
            [this] { abortWith(QNetworkReply::OperationCanceledError, QStringLiteral("Operation canceled")); });
}

TReplyGuard::~TReplyGuard() = default;

TReplyGuard* TReplyGuard::of(const QNetworkReply* reply)
{
    return reply ? reply->findChild<TReplyGuard*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

TReplyGuard* TReplyGuard::ensure(QNetworkReply* reply)
{
    TReplyGuard* guard = of(reply);
    return guard ? guard : new TReplyGuard(reply, -1);
}

void TReplyGuard::setMaxBytes(qint64 maxBytes)
{
    m_maxBytes = maxBytes;
    checkSize(m_bytesReceived);
}

void TReplyGuard::setMinimumThroughput(qint64 minBytes, int windowMs)
{
    m_windowTimer.stop();
    m_minBytesPerWindow = minBytes;
    if (minBytes > 0 && windowMs > 0 && !m_reply->isFinished()) {
        m_bytesAtWindowStart = m_bytesReceived;
        m_windowTimer.start(windowMs);
    }
}

void TReplyGuard::setIdleTimeout(int milliseconds)
{
    m_idleTimer.stop();
    m_idleTimer.setInterval(std::max(0, milliseconds));
    restartIdleTimer();
}

void TReplyGuard::setHeld(bool held)
{
    m_held = held;
    m_heldInWindow = m_heldInWindow || held;
    if (held) {
        m_idleTimer.stop();
    } else {
        restartIdleTimer();
    }
}

void TReplyGuard::restartIdleTimer()
{
    if (m_idleTimer.interval() > 0 && !m_held && !hasAborted() && !m_reply->isFinished()) {
        m_idleTimer.start();
    }
}

void TReplyGuard::onMetaDataChanged()
{
    restartIdleTimer();
    // A declared length over the cap is refused before its body is read.
    const QVariant declared = m_reply->header(QNetworkRequest::ContentLengthHeader);
    if (!declared.isValid() || !exceedsCap(declared.toLongLong())) {
        return;
    }
    // The reason holds from now on; the abort waits until Qt has left its header handling, which
    // an abort from here would disturb.
    recordReason(QNetworkReply::UnknownContentError, capReason(m_maxBytes));
    QMetaObject::invokeMethod(this, &TReplyGuard::abortReply, Qt::QueuedConnection);
}

void TReplyGuard::onBytesReceived(qint64 bytesReceived)
{
    if (bytesReceived > m_bytesReceived) {
        m_bytesReceived = bytesReceived;
        restartIdleTimer();
    }
    checkSize(m_bytesReceived);
}

void TReplyGuard::onWindowElapsed()
{
    if (m_heldInWindow) {
        m_heldInWindow = m_held;
        m_bytesAtWindowStart = m_bytesReceived;
        return;
    }
    if (m_bytesReceived - m_bytesAtWindowStart < m_minBytesPerWindow) {
        abortWith(QNetworkReply::TimeoutError, QStringLiteral("Transfer slower than %1 bytes in %2 ms")
                                                   .arg(m_minBytesPerWindow)
                                                   .arg(m_windowTimer.interval()));
        return;
    }
    m_bytesAtWindowStart = m_bytesReceived;
}

void TReplyGuard::onFinished()
{
    m_windowTimer.stop();
    m_idleTimer.stop();
    // The body as it will be read, for a reply whose progress was not reported in full.
    if (!hasAborted() && m_reply->isReadable()) {
        checkSize(m_reply->bytesAvailable());
    }
}

bool TReplyGuard::exceedsCap(qint64 bytes) const
{
    return m_maxBytes >= 0 && bytes > m_maxBytes;
}

QString TReplyGuard::capReason(qint64 maxBytes)
{
    return QStringLiteral("Response larger than the limit of %1 bytes").arg(maxBytes);
}

void TReplyGuard::checkSize(qint64 bytes)
{
    if (exceedsCap(bytes)) {
        abortWith(QNetworkReply::UnknownContentError, capReason(m_maxBytes));
    }
}

void TReplyGuard::abortWith(QNetworkReply::NetworkError code, const QString& text)
{
    recordReason(code, text);
    abortReply();
}

void TReplyGuard::recordReason(QNetworkReply::NetworkError code, const QString& text)
{
    m_windowTimer.stop();
    m_idleTimer.stop();
    // The first reason stands.
    if (!hasAborted()) {
        m_error = code;
        m_errorString = text;
    }
}

void TReplyGuard::abortReply()
{
    if (m_reply->isRunning()) {
        m_reply->abort();
    }
}

} // namespace shared
