#include "qtextbrowserwithnetwork/TInertTextDocument.h"

#include "qtextbrowserwithnetwork/TRichTextResources.h"

#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextFragment>
#include <QTextImageFormat>

#include <utility>
#include <vector>

namespace shared {

TInertTextDocument::TInertTextDocument(QObject* parent) : QTextDocument(parent) {}

QString TInertTextDocument::withoutExternalResources(const QString& html)
{
    if (!Qt::mightBeRichText(html)) {
        return html;
    }
    TInertTextDocument document;
    document.setHtml(html);
    const bool hadForeignImages = document.removeForeignImages();
    if (!hadForeignImages && !document.hasRefusedResources()) {
        return html;
    }
    // A fragment carries no body style, so the widget's own font still applies to the text.
    return QTextDocumentFragment(&document).toHtml();
}

QVariant TInertTextDocument::loadResource(int type, const QUrl& name)
{
    if (TRichTextResources::isArtwork(name)) {
        const QByteArray artwork = TRichTextResources::loadArtwork(name);
        if (!artwork.isEmpty()) {
            return artwork;
        }
    }
    m_refusedResources = true;
    return TRichTextResources::refused(type);
}

bool TInertTextDocument::removeForeignImages()
{
    std::vector<std::pair<int, int>> images;
    for (QTextBlock block = begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            const QTextCharFormat format = fragment.charFormat();
            if (format.isImageFormat() && !TRichTextResources::isArtwork(QUrl(format.toImageFormat().name()))) {
                images.emplace_back(fragment.position(), fragment.length());
            }
        }
    }
    // From the end, so that the positions still to come stay valid.
    QTextCursor cursor(this);
    for (auto image = images.rbegin(); image != images.rend(); ++image) {
        cursor.setPosition(image->first);
        cursor.setPosition(image->first + image->second, QTextCursor::KeepAnchor);
        cursor.removeSelectedText();
    }
    return !images.empty();
}

} // namespace shared
