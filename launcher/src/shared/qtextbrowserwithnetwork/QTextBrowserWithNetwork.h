#pragma once

#include <QByteArray>
#include <QMap>
#include <QNetworkReply>
#include <QString>
#include <QTextBrowser>
#include <QUrl>
#include <QVariant>

#include <memory>

namespace shared {

class TDownloadPool;

/// A text browser whose HTML may name images on http, https and ftp addresses. Such resources are fetched
/// through the shared download pool: until the pool delivers, an image shows as a transparent 32 x 32 area, and
/// when it arrives the document is laid out again with the real data. Every resource is requested at most once
/// per browser; failed downloads keep their placeholder. Local files and Qt resources load as in QTextBrowser.
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
    void onDownloadFinished(QUrl Url, QByteArray Data);
    void onDownloadFailed(QUrl Url, QNetworkReply::NetworkError Code, QString ErrorString);

private:
    static bool isNetworkScheme(const QUrl& url);
    static QVariant placeholderFor(int type);

    std::shared_ptr<TDownloadPool> m_downloadPool;
    QMap<QUrl, QVariant> m_resourceCache;
};

} // namespace shared
