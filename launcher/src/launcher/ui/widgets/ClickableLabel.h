#pragma once

#include <QLabel>

class QMouseEvent;

namespace orvan::launcher {

/// A label that reports every mouse press as clicked() instead of handling it (no text selection, no links).
class ClickableLabel : public QLabel
{
    Q_OBJECT

public:
    explicit ClickableLabel(QWidget* parent = nullptr);

signals:
    // NOLINTBEGIN(readability-identifier-naming)
    void clicked();
    // NOLINTEND(readability-identifier-naming)

protected:
    void mousePressEvent(QMouseEvent* event) override;
};

} // namespace orvan::launcher
