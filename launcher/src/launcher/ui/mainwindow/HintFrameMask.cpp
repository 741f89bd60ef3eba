#include "mainwindow/HintFrameMask.h"

#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPolygon>

namespace orvan::launcher {

namespace {

QRegion withOutline(const QPolygon& polygon)
{
    QPainterPath path;
    path.addPolygon(polygon);
    path.closeSubpath();
    QPainterPathStroker stroker;
    stroker.setWidth(1);
    stroker.setJoinStyle(Qt::RoundJoin);
    const QPolygon outline = stroker.createStroke(path).toFillPolygon().toPolygon();
    return QRegion(polygon).united(QRegion(outline));
}

} // namespace

QRegion hintFrameMask(int index, const QSize& frameSize)
{
    const int w = frameSize.width();
    const int h = frameSize.height();
    switch (index) {
    case 0:
        return QRegion(QPolygon({QPoint(0, 0), QPoint(w, 0), QPoint(w - h / 2, h), QPoint(0, h)}));
    case 1:
        return withOutline(QPolygon({QPoint(h / 2, 0), QPoint(w, 0), QPoint(w - h / 2, h), QPoint(0, h)}));
    default:
        return withOutline(QPolygon({QPoint(h / 2, 0), QPoint(w, 0), QPoint(w, h), QPoint(0, h)}));
    }
}

} // namespace orvan::launcher
