#pragma once

#include "widgets/QContextPushButton.h"

class QPainter;

namespace orvan::launcher {

/// A small round button of the launcher's style with a drawn symbol (no image files): a dark disc
/// with a gold ring and the symbol in the window's text colour, brighter while hovered or held.
/// Keeps the context menu of QContextPushButton.
class TIconButton : public QContextPushButton
{
    Q_OBJECT

public:
    enum class ESymbol
    {
        Gear,
        Pause,
        Resume
    };

    explicit TIconButton(ESymbol symbol, int side, QWidget* parent = nullptr);

    ESymbol symbol() const { return m_symbol; }
    void setSymbol(ESymbol symbol);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void drawGear(QPainter& painter) const;
    void drawPause(QPainter& painter) const;
    void drawResume(QPainter& painter) const;

    ESymbol m_symbol;
};

} // namespace orvan::launcher
