#include "cdntrace/TCloudflareCdnTrace.h"

#include "network/TDownloadPool.h"

#include <QStringList>

namespace orvan::launcher {

TCloudflareCdnTrace::TCloudflareCdnTrace(std::shared_ptr<::shared::TDownloadPool> downloadPool, const QUrl& url)
    : m_url(url), m_downloadPool(std::move(downloadPool))
{
    if (m_downloadPool) {
        connect(m_downloadPool.get(), &::shared::TDownloadPool::success, this, &TCloudflareCdnTrace::onDownloadSuccess);
        connect(m_downloadPool.get(), &::shared::TDownloadPool::failed, this, &TCloudflareCdnTrace::onDownloadFailed);
    }
}

void TCloudflareCdnTrace::requestTrace()
{
    if (m_failed || m_requested || m_received) {
        return;
    }
    if (m_url.isValid() && m_downloadPool) {
        m_requested = true;
        m_failed = false;
        m_downloadPool->addRequest(m_url, MaxResponseBytes);
        return;
    }
    markFailed();
}

void TCloudflareCdnTrace::onDownloadSuccess(QUrl url, QByteArray data)
{
    if (url != m_url || m_url.isEmpty()) {
        return;
    }
    const int terminator = data.indexOf('\0');
    const QString text = QString::fromUtf8(terminator < 0 ? data : data.left(terminator));

    QString fl;
    QString ts;
    QString colo;
    QString ip;
    const QStringList lines = text.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    for (const QString& line : lines) {
        const QStringList parts = line.split(QLatin1Char('='), Qt::SkipEmptyParts);
        if (parts.size() != 2) {
            continue;
        }
        const QString key = parts.at(0).toLower();
        const QString value = parts.at(1).trimmed();
        if (key == QLatin1String("fl")) {
            fl = value;
        } else if (key == QLatin1String("ts")) {
            ts = value;
        } else if (key == QLatin1String("colo")) {
            colo = value;
        } else if (key == QLatin1String("ip")) {
            ip = value;
        }
    }

    m_fl = fl;
    m_ts = ts;
    m_colo = colo;
    m_ip = ip;
    m_received = true;
    m_failed = false;
    m_requested = false;
    emit diagnosticsTraceReceived(false);
}

void TCloudflareCdnTrace::onDownloadFailed(QUrl url, QNetworkReply::NetworkError code, QString errorString)
{
    Q_UNUSED(code)
    Q_UNUSED(errorString)
    if (url != m_url || m_url.isEmpty()) {
        return;
    }
    markFailed();
}

void TCloudflareCdnTrace::markFailed()
{
    m_received = false;
    m_requested = false;
    m_failed = true;
    emit diagnosticsTraceReceived(true);
}

} // namespace orvan::launcher
