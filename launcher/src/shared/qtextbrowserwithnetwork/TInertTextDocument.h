#pragma once

#include <QString>
#include <QTextDocument>

namespace shared {

/// A text document that loads nothing while it parses or lays out its HTML: images, style sheets and backgrounds are
/// refused, except the program's compiled-in artwork. It remembers whether anything was refused.
class TInertTextDocument : public QTextDocument
{
    Q_OBJECT

public:
    explicit TInertTextDocument(QObject* parent = nullptr);

    /// Html itself when showing it needs no resource but artwork; otherwise the same text and formatting with every
    /// other image left out and every other resource dropped. For widgets such as QLabel, whose document loads local
    /// files and cannot be replaced.
    static QString withoutExternalResources(const QString& html);

    bool hasRefusedResources() const { return m_refusedResources; }

protected:
    QVariant loadResource(int type, const QUrl& name) override;

private:
    /// Removes images that are not artwork; true when there were any.
    bool removeForeignImages();

    bool m_refusedResources = false;
};

} // namespace shared
