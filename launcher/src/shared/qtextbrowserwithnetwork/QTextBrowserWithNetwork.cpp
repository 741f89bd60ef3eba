#include "qtextbrowserwithnetwork/QTextBrowserWithNetwork.h"

#include "network/TDownloadPool.h"
#include "qtextbrowserwithnetwork/TRichTextResources.h"

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
    if (m_resourceCache.contains(name)) {
        return cachedResource(type, name);
    }
    // Every answer is a non-null value: on a null one the document would read the address as a local file itself.
    QVariant resource;
    if (type == QTextDocument::ImageResource && TRichTextResources::isFetchable(name)) {
        resource = requestImage(name);
    } else if (TRichTextResources::isArtwork(name)) {
        const QByteArray artwork = TRichTextResources::loadArtwork(name);
        resource = artwork.isEmpty() ? TRichTextResources::refused(type) : QVariant(artwork);
    } else {
        resource = TRichTextResources::refused(type);
    }
    m_resourceCache.insert(name, resource);
    return resource;
}

QVariant QTextBrowserWithNetwork::cachedResource(int type, const QUrl& name)
{
    const QVariant cached = m_resourceCache.value(name);
    if (cached.userType() != QMetaType::QByteArray || TRichTextResources::isArtwork(name)) {
        return cached;
    }
    // Downloaded bytes are decoded once, within the limits, and only ever serve as an image.
    if (type != QTextDocument::ImageResource) {
        return TRichTextResources::refused(type);
    }
    const QImage image = TRichTextResources::decodeImage(cached.toByteArray());
    const QVariant decoded = image.isNull() ? QVariant(placeholderImage()) : QVariant(image);
    m_resourceCache.insert(name, decoded);
    return decoded;
}

QVariant QTextBrowserWithNetwork::requestImage(const QUrl& name)
{
    // The placeholder goes into the cache before the request so that the layout passes that follow ask the pool only
    // once per address.
    const QImage placeholder = placeholderImage();
    if (m_downloadPool) {
        m_pendingImages.insert(name);
        TRichTextResources::requestImage(*m_downloadPool, name);
    }
    return placeholder;
}

void QTextBrowserWithNetwork::onDownloadFinished(QUrl url, QByteArray data)
{
    if (!TRichTextResources::isFetchable(url) || data.size() > TRichTextResources::HintImageMaxBytes) {
        m_pendingImages.remove(url);
        return;
    }
    // Deliveries for other listeners of the pool are kept too, so that a later document finds them at once.
    m_resourceCache.insert(url, data);
    if (m_pendingImages.remove(url)) {
        // Re-reading its own HTML makes the document drop its resource cache and ask loadResource again.
        setHtml(toHtml());
    }
}

void QTextBrowserWithNetwork::onDownloadFailed(QUrl url, QNetworkReply::NetworkError code, QString errorString)
{
    m_pendingImages.remove(url);
    const char* codeName = QMetaEnum::fromType<QNetworkReply::NetworkError>().valueToKey(code);
    QMessageLogger(__FILE__, __LINE__, Q_FUNC_INFO).warning()
        << "Download failed:" << url << (codeName ? codeName : "UnknownNetworkError") << errorString;
}

QImage QTextBrowserWithNetwork::placeholderImage()
{
    QImage placeholder(PlaceholderSize, PlaceholderSize, QImage::Format_ARGB32_Premultiplied);
    placeholder.fill(Qt::transparent);
    return placeholder;
}

} // namespace shared
