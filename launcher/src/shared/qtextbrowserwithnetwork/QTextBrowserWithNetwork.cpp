#include "qtextbrowserwithnetwork/QTextBrowserWithNetwork.h"

#include "network/TDownloadPool.h"

#include <QImage>
#include <QMessageLogger>
#include <QMetaEnum>
#include <QTextDocument>

namespace shared {

QTextBrowserWithNetwork::QTextBrowserWithNetwork(QWidget* parent, std::shared_ptr<TDownloadPool> downloadPool)
    : QTextBrowser(parent), m_downloadPool(std::move(downloadPool))
{
    if (m_downloadPool) {
        connect(m_downloadPool.get(), &TDownloadPool::success, this, &QTextBrowserWithNetwork::onDownloadFinished);
        connect(m_downloadPool.get(), &TDownloadPool::failed, this, &QTextBrowserWithNetwork::onDownloadFailed);
    }
}

QVariant QTextBrowserWithNetwork::loadResource(int type, const QUrl& name)
{
    const auto cached = m_resourceCache.constFind(name);
    if (cached != m_resourceCache.constEnd()) {
        return cached.value();
    }
    if (isNetworkScheme(name)) {
        // The placeholder goes into the cache before the request so that the layout passes that follow ask the
        // pool only once per address.
        const QVariant placeholder = placeholderFor(type);
        m_resourceCache.insert(name, placeholder);
        if (m_downloadPool) {
            m_downloadPool->addRequest(name);
        }
        return placeholder;
    }
    const QVariant local = QTextBrowser::loadResource(type, name);
    m_resourceCache.insert(name, local);
    return local;
}

void QTextBrowserWithNetwork::onDownloadFinished(QUrl Url, QByteArray Data)
{
    m_resourceCache.insert(Url, Data);
    // Re-reading its own HTML makes the document drop its resource cache and ask loadResource again.
    setHtml(toHtml());
}

void QTextBrowserWithNetwork::onDownloadFailed(QUrl Url, QNetworkReply::NetworkError Code, QString ErrorString)
{
    const char* codeName = QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(Code);
    QMessageLogger(__FILE__, __LINE__, Q_FUNC_INFO).warning()
        << "Download failed:" << Url << (codeName ? codeName : "UnknownNetworkError") << ErrorString;
}

bool QTextBrowserWithNetwork::isNetworkScheme(const QUrl& url)
{
    const QString scheme = url.scheme();
    return scheme == QLatin1String("http") || scheme == QLatin1String("https") || scheme == QLatin1String("ftp");
}

QVariant QTextBrowserWithNetwork::placeholderFor(int type)
{
    if (type == QTextDocument::ImageResource) {
        QImage placeholder(PlaceholderSize, PlaceholderSize, QImage::Format_ARGB32_Premultiplied);
        placeholder.fill(Qt::transparent);
        return placeholder;
    }
    return QVariant(type);
}

} // namespace shared
