#include "widgets/TDraggableMainWindow.h"

#include <QMouseEvent>

namespace orvan::launcher {

TDraggableMainWindow::TDraggableMainWindow(QWidget* parent, Qt::WindowFlags flags) : QMainWindow(parent, flags) {}

void TDraggableMainWindow::mouseMoveEvent(QMouseEvent* event)
{
    const QPointF global = event->screenPos();
    const QPoint position(qRound(global.x()), qRound(global.y()));
    // The null point doubles as "no drag yet": a press never records a position, the first move does.
    if (!m_dragPosition.isNull()) {
        move(pos() + (position - m_dragPosition));
    }
    m_dragPosition = position;
    event->accept();
}

void TDraggableMainWindow::mouseReleaseEvent(QMouseEvent* event)
{
    m_dragPosition = QPoint();
    QMainWindow::mouseReleaseEvent(event);
}

} // namespace orvan::launcher
