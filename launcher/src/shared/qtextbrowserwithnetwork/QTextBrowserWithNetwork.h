#pragma once

#include <QByteArray>
#include <QMap>
#include <QNetworkReply>
#include <QSet>
#include <QString>
#include <QTextBrowser>
#include <QUrl>
#include <QVariant>

#include <memory>

namespace shared {

class TDownloadPool;

/// A text browser whose HTML may name images on http and https addresses. Such images are fetched through the shared
/// download pool: until the pool delivers, an image shows as a transparent 32 x 32 area, and when it arrives the
/// document is laid out again with the decoded image. Every image is requested at most once per browser; failed or
/// undecodable downloads keep their placeholder. Nothing else is loaded: no local file, no data: address, no remote
/// style sheet; only the program's compiled-in artwork loads as in QTextBrowser.
class QTextBrowserWithNetwork : public QTextBrowser
{
    Q_OBJECT

public:
    static constexpr int PlaceholderSize = 32;

    QTextBrowserWithNetwork(QWidget* parent, std::shared_ptr<TDownloadPool> downloadPool);

    QVariant loadResource(int type, const QUrl& name) override;

    /// True when name has been asked for (or delivered by the pool) and is held in the cache.
    bool isResourceCached(const QUrl& name) const { return m_resourceCache.contains(name); }

public slots:
    void onDownloadFinished(QUrl url, QByteArray data);
    void onDownloadFailed(QUrl url, QNetworkReply::NetworkError code, QString errorString);

private:
    QVariant cachedResource(int type, const QUrl& name);
    QVariant requestImage(const QUrl& name);
    static QImage placeholderImage();

    std::shared_ptr<TDownloadPool> m_downloadPool;
    QMap<QUrl, QVariant> m_resourceCache;
    /// Images asked for and not yet delivered.
    QSet<QUrl> m_pendingImages;
};

} // namespace shared
