#include "qtextbrowserwithnetwork/TRichTextResources.h"

#include "network/TDownloadPool.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QTextDocument>

namespace shared {

bool TRichTextResources::isFetchable(const QUrl& url)
{
    const QString scheme = url.scheme();
    return url.isValid() && !url.isRelative() && !url.host().isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

bool TRichTextResources::isArtwork(const QUrl& url)
{
    // A bare ":/..." name has no scheme and does not count as a valid URL, but its path is intact.
    return url.scheme() == QLatin1String("qrc") ||
           (url.scheme().isEmpty() && url.path().startsWith(QLatin1String(":/")));
}

QByteArray TRichTextResources::loadArtwork(const QUrl& url)
{
    // Names starting with ':' are resolved by the resource system alone, never on disk.
    const QString path = url.scheme() == QLatin1String("qrc") ? QLatin1Char(':') + url.path() : url.path();
    if (!path.startsWith(QLatin1String(":/"))) {
        return {};
    }
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TRichTextResources::requestImage(TDownloadPool& pool, const QUrl& url)
{
    // The one place where images are requested: a body beyond the image limit is aborted while it arrives.
    pool.addRequest(url, HintImageMaxBytes);
}

QImage TRichTextResources::decodeImage(const QByteArray& data)
{
    if (data.isEmpty() || data.size() > HintImageMaxBytes) {
        return {};
    }
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > MaxImageSide || size.height() > MaxImageSide ||
        qint64(size.width()) * size.height() > MaxImagePixels) {
        return {};
    }
    return reader.read();
}

QVariant TRichTextResources::refused(int type)
{
    if (type == QTextDocument::ImageResource) {
        QImage blank(1, 1, QImage::Format_ARGB32_Premultiplied);
        blank.fill(Qt::transparent);
        return blank;
    }
    return QVariant(type);
}

} // namespace shared
