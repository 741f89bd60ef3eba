#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <QUrl>

#include <memory>

namespace shared {
class TDownloadPool;
}

namespace orvan::launcher {

/// Fetches the CDN edge's plain-text trace document once through the main download pool and keeps its "fl",
/// "ts", "colo" and "ip" values for the download-failure message. A finished request, successful or failed, is
/// final for the run; an invalid or empty URL fails at once without a request.
class TCloudflareCdnTrace : public QObject
{
    Q_OBJECT

public:
    /// The trace is a few lines of text; a larger answer is not one.
    static constexpr qint64 MaxResponseBytes = 64 * 1024;

    TCloudflareCdnTrace(std::shared_ptr<::shared::TDownloadPool> downloadPool, const QUrl& url);

    /// Starts the request unless one is running or has already finished; see the class comment.
    void requestTrace();

    const QUrl& url() const { return m_url; }
    const QString& fl() const { return m_fl; }
    const QString& ts() const { return m_ts; }
    const QString& colo() const { return m_colo; }
    const QString& ip() const { return m_ip; }
    bool isReceived() const { return m_received; }
    bool isFailed() const { return m_failed; }
    bool isRequested() const { return m_requested; }

signals:
    // NOLINTBEGIN(readability-identifier-naming)
    void diagnosticsTraceReceived(bool Failed);
    // NOLINTEND(readability-identifier-naming)

private slots:
    void onDownloadSuccess(QUrl url, QByteArray data);
    void onDownloadFailed(QUrl url, QNetworkReply::NetworkError code, QString errorString);

private:
    void markFailed();

    QUrl m_url;
    std::shared_ptr<::shared::TDownloadPool> m_downloadPool;
    QString m_fl;
    QString m_ts;
    QString m_colo;
    QString m_ip;
    bool m_received = false;
    bool m_failed = false;
    bool m_requested = false;
};

} // namespace orvan::launcher
