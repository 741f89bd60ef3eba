#include "qtextbrowserwithnetwork/TRichTextResources.h"

#include "network/TDownloadPool.h"

#include <QBuffer>
#include <QFile>
#include <QImageReader>
#include <QTextDocument>

namespace shared {

bool TRichTextResources::isFetchable(const QUrl& Url)
{
    const QString scheme = Url.scheme();
    return Url.isValid() && !Url.isRelative() && !Url.host().isEmpty() &&
           (scheme == QLatin1String("http") || scheme == QLatin1String("https"));
}

bool TRichTextResources::isArtwork(const QUrl& Url)
{
    // A bare ":/..." name has no scheme and does not count as a valid URL, but its path is intact.
    return Url.scheme() == QLatin1String("qrc") ||
           (Url.scheme().isEmpty() && Url.path().startsWith(QLatin1String(":/")));
}

QByteArray TRichTextResources::loadArtwork(const QUrl& Url)
{
    // Names starting with ':' are resolved by the resource system alone, never on disk.
    const QString path = Url.scheme() == QLatin1String("qrc") ? QLatin1Char(':') + Url.path() : Url.path();
    if (!path.startsWith(QLatin1String(":/"))) {
        return {};
    }
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void TRichTextResources::requestImage(TDownloadPool& Pool, const QUrl& Url)
{
    // The one place where images are requested: a body beyond the image limit is aborted while it arrives.
    Pool.addRequest(Url, HintImageMaxBytes);
}

QImage TRichTextResources::decodeImage(const QByteArray& Data)
{
    if (Data.isEmpty() || Data.size() > HintImageMaxBytes) {
        return {};
    }
    QBuffer buffer;
    buffer.setData(Data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > MaxImageSide || size.height() > MaxImageSide ||
        qint64(size.width()) * size.height() > MaxImagePixels) {
        return {};
    }
    return reader.read();
}

QVariant TRichTextResources::refused(int Type)
{
    if (Type == QTextDocument::ImageResource) {
        QImage blank(1, 1, QImage::Format_ARGB32_Premultiplied);
        blank.fill(Qt::transparent);
        return blank;
    }
    return QVariant(Type);
}

} // namespace shared
