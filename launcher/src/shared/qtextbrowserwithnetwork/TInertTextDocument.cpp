#include "qtextbrowserwithnetwork/TInertTextDocument.h"

#include "qtextbrowserwithnetwork/TRichTextResources.h"

#include <QPainter>
#include <QPicture>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocumentFragment>
#include <QTextFragment>
#include <QTextFrame>
#include <QTextImageFormat>
#include <QTextTable>

#include <utility>
#include <vector>

namespace shared {

namespace {

/// Clears the image background of Format, given by address or as a texture; true when it had one.
bool dropBackgroundImage(QTextFormat& format)
{
    const bool textured = format.background().style() == Qt::TexturePattern;
    if (!textured && !format.hasProperty(QTextFormat::BackgroundImageUrl)) {
        return false;
    }
    format.clearProperty(QTextFormat::BackgroundImageUrl);
    if (textured) {
        format.clearBackground();
    }
    return true;
}

bool isForeignImage(const QTextCharFormat& format)
{
    return format.isImageFormat() && !TRichTextResources::isArtwork(QUrl(format.toImageFormat().name()));
}

void selectFragment(QTextCursor& cursor, const std::pair<int, int>& fragment)
{
    cursor.setPosition(fragment.first);
    cursor.setPosition(fragment.first + fragment.second, QTextCursor::KeepAnchor);
}

/// Where a fragment starts and how long it is; stays valid while only formats change.
std::pair<int, int> rangeOf(const QTextFragment& fragment)
{
    return {fragment.position(), fragment.length()};
}

} // namespace

TInertTextDocument::TInertTextDocument(QObject* parent) : QTextDocument(parent) {}

QString TInertTextDocument::withoutExternalResources(const QString& html)
{
    if (!Qt::mightBeRichText(html) || loadsNothing(html)) {
        return html;
    }
    TInertTextDocument document;
    document.setHtml(html);
    document.removeBackgroundImages();
    document.removeForeignImages();
    // A fragment carries no body style, so the widget's own font still applies to the text.
    const QString cleaned = QTextDocumentFragment(&document).toHtml();
    if (loadsNothing(cleaned)) {
        return cleaned;
    }
    // The serialiser may write back what the parser took in: what still asks for anything keeps only its text.
    const QString text = document.toPlainText().remove(QChar::ObjectReplacementCharacter);
    return Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal);
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

bool TInertTextDocument::loadsNothing(const QString& html)
{
    TInertTextDocument document;
    document.setHtml(html);
    // Style sheets and backgrounds are asked for while parsing, images while laying out and painting.
    QPicture picture;
    QPainter painter(&picture);
    document.drawContents(&painter);
    return !document.hasRefusedResources();
}

void TInertTextDocument::removeForeignImages()
{
    std::vector<std::pair<int, int>> images;
    for (QTextBlock block = begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            if (isForeignImage(it.fragment().charFormat())) {
                images.push_back(rangeOf(it.fragment()));
            }
        }
    }
    // From the end, so that the positions still to come stay valid.
    QTextCursor cursor(this);
    for (auto image = images.rbegin(); image != images.rend(); ++image) {
        selectFragment(cursor, *image);
        cursor.removeSelectedText();
    }
}

void TInertTextDocument::removeBackgroundImages()
{
    removeFrameBackgrounds(rootFrame());
    std::vector<std::pair<std::pair<int, int>, QTextCharFormat>> fragments;
    for (QTextBlock block = begin(); block.isValid(); block = block.next()) {
        QTextCursor cursor(block);
        QTextBlockFormat blockFormat = block.blockFormat();
        if (dropBackgroundImage(blockFormat)) {
            cursor.setBlockFormat(blockFormat);
        }
        QTextCharFormat blockCharFormat = block.charFormat();
        if (dropBackgroundImage(blockCharFormat)) {
            cursor.setBlockCharFormat(blockCharFormat);
        }
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            QTextCharFormat format = it.fragment().charFormat();
            if (dropBackgroundImage(format)) {
                fragments.emplace_back(rangeOf(it.fragment()), format);
            }
        }
    }
    // Formats change after the walk: a changed fragment may merge with its neighbour.
    QTextCursor cursor(this);
    for (const auto& [fragment, format] : fragments) {
        selectFragment(cursor, fragment);
        cursor.setCharFormat(format);
    }
}

void TInertTextDocument::removeFrameBackgrounds(QTextFrame* frame)
{
    QTextFrameFormat format = frame->frameFormat();
    if (dropBackgroundImage(format)) {
        frame->setFrameFormat(format);
    }
    if (auto* table = qobject_cast<QTextTable*>(frame)) {
        for (int row = 0; row < table->rows(); ++row) {
            for (int column = 0; column < table->columns(); ++column) {
                QTextTableCell cell = table->cellAt(row, column);
                QTextCharFormat cellFormat = cell.format();
                if (dropBackgroundImage(cellFormat)) {
                    cell.setFormat(cellFormat);
                }
            }
        }
    }
    for (QTextFrame* child : frame->childFrames()) {
        removeFrameBackgrounds(child);
    }
}

} // namespace shared
