#pragma once

#include <QByteArray>
#include <QImage>
#include <QUrl>
#include <QVariant>

namespace shared {

class TDownloadPool;

/// What rich text shown by the launcher may load, in one place. Hint texts and hint images come from the network, so
/// their documents get nothing from the local file system: the only local resources are the program's compiled-in
/// artwork (":/" and "qrc:" addresses), and the only remote ones are images on absolute http(s) addresses, fetched
/// through the download pool with a capped body and decoded within fixed dimensions.
class TRichTextResources
{
public:
    /// Largest image body accepted from the network.
    static constexpr qint64 HintImageMaxBytes = 4 * 1024 * 1024;
    /// Largest width or height of a decoded image, and largest pixel count.
    static constexpr int MaxImageSide = 4096;
    static constexpr qint64 MaxImagePixels = 4 * 1024 * 1024;

    /// True for an absolute http or https address with a host.
    static bool isFetchable(const QUrl& url);
    /// True for the program's compiled-in resources.
    static bool isArtwork(const QUrl& url);
    /// The bytes of a compiled-in resource; empty when there is none.
    static QByteArray loadArtwork(const QUrl& url);
    /// Asks Pool for the image at Url; the caller has checked isFetchable.
    static void requestImage(TDownloadPool& pool, const QUrl& url);
    /// The image in Data, or a null image when Data is too large, not an image, or declares dimensions beyond the
    /// limits (checked from the header, before any pixel memory is taken).
    static QImage decodeImage(const QByteArray& data);
    /// What a document gets instead of a refused resource: a non-null value, so that the toolkit neither falls back
    /// to reading the address as a file nor decodes it as a data: address. Images are a transparent pixel.
    static QVariant refused(int type);
};

} // namespace shared
