#pragma once

#include <QString>
#include <QTextDocument>

class QTextFrame;

namespace shared {

/// A text document that loads nothing while it parses, lays out or paints its HTML: images, style sheets and
/// backgrounds are refused, except the program's compiled-in artwork. It remembers whether anything was refused.
class TInertTextDocument : public QTextDocument
{
    Q_OBJECT

public:
    explicit TInertTextDocument(QObject* parent = nullptr);

    /// Html itself when showing it needs no resource but artwork; otherwise the same text and formatting without
    /// other images and without background images, or the bare text should even that still ask for a resource. For
    /// widgets such as QLabel, whose document reads local files and cannot be replaced.
    static QString withoutExternalResources(const QString& html);

    bool hasRefusedResources() const { return m_refusedResources; }

protected:
    QVariant loadResource(int type, const QUrl& name) override;

private:
    /// True when html, parsed, laid out and painted, asks for nothing but artwork.
    static bool loadsNothing(const QString& html);
    /// Removes images that are not artwork.
    void removeForeignImages();
    /// Drops background images from every frame, table cell, block and character format.
    void removeBackgroundImages();
    void removeFrameBackgrounds(QTextFrame* frame);

    bool m_refusedResources = false;
};

} // namespace shared
