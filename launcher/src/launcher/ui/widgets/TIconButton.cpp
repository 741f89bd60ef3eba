#include "widgets/TIconButton.h"

#include <QPainter>
#include <QPainterPath>
#include <QtMath>

namespace orvan::launcher {

namespace {

// The window's palette: its text colour, a warm gold for rings and hovered symbols, night blue.
const QColor TextColour(0xDA, 0xDA, 0xBC);
const QColor GoldColour(0xC9, 0x8F, 0x2A);
const QColor GoldLightColour(0xF0, 0xD5, 0x90);
const QColor NightColour(0x0B, 0x0F, 0x1A, 0xD0);

constexpr int GearTeeth = 8;

} // namespace

TIconButton::TIconButton(ESymbol symbol, int side, QWidget* parent) : QContextPushButton(parent), m_symbol(symbol)
{
    setFixedSize(side, side);
    setCursor(Qt::PointingHandCursor);
    setFlat(true);
    setFocusPolicy(Qt::NoFocus);
}

void TIconButton::setSymbol(ESymbol symbol)
{
    if (m_symbol == symbol)
        return;
    m_symbol = symbol;
    update();
}

void TIconButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool highlighted = underMouse() || isDown();
    const QRectF disc = QRectF(rect()).adjusted(1, 1, -1, -1);
    painter.setPen(QPen(highlighted ? GoldLightColour : GoldColour, 1.2));
    painter.setBrush(NightColour);
    painter.drawEllipse(disc);

    // Symbols are drawn on a 20 by 20 grid centred in the button; held down they move by a pixel like the
    // launcher's other buttons.
    const qreal scale = disc.width() / 20.0;
    painter.translate(disc.center() + (isDown() ? QPointF(0.5, 0.5) : QPointF()));
    painter.scale(scale, scale);
    const QColor colour = highlighted ? GoldLightColour : TextColour;
    painter.setPen(Qt::NoPen);
    painter.setBrush(colour);
    switch (m_symbol) {
    case ESymbol::Gear:
        drawGear(painter);
        break;
    case ESymbol::Pause:
        drawPause(painter);
        break;
    case ESymbol::Resume:
        drawResume(painter);
        break;
    }
}

void TIconButton::drawGear(QPainter& painter) const
{
    // Teeth around a ring: the polygon alternates between the tooth tips and the root circle.
    QPainterPath gear;
    constexpr qreal outer = 7.2;
    constexpr qreal root = 5.4;
    constexpr qreal toothHalfAngle = M_PI / GearTeeth * 0.45;
    for (int tooth = 0; tooth < GearTeeth; ++tooth) {
        const qreal centre = 2.0 * M_PI * tooth / GearTeeth;
        const qreal angles[] = {centre - 2.0 * toothHalfAngle, centre - toothHalfAngle, centre + toothHalfAngle,
                                centre + 2.0 * toothHalfAngle};
        const qreal radii[] = {root, outer, outer, root};
        for (int corner = 0; corner < 4; ++corner) {
            const QPointF point(radii[corner] * qCos(angles[corner]), radii[corner] * qSin(angles[corner]));
            if (tooth == 0 && corner == 0)
                gear.moveTo(point);
            else
                gear.lineTo(point);
        }
    }
    gear.closeSubpath();
    QPainterPath hole;
    hole.addEllipse(QPointF(0, 0), 2.3, 2.3);
    painter.drawPath(gear.subtracted(hole));
}

void TIconButton::drawPause(QPainter& painter) const
{
    painter.drawRoundedRect(QRectF(-4.0, -5.0, 2.8, 10.0), 0.6, 0.6);
    painter.drawRoundedRect(QRectF(1.2, -5.0, 2.8, 10.0), 0.6, 0.6);
}

void TIconButton::drawResume(QPainter& painter) const
{
    // Nudged right: a triangle looks centred when its weight, not its box, is in the middle.
    const QPointF corners[] = {QPointF(-3.0, -5.5), QPointF(5.5, 0.0), QPointF(-3.0, 5.5)};
    painter.drawPolygon(corners, 3);
}

} // namespace orvan::launcher
