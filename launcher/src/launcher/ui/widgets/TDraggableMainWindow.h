#pragma once

#include <QMainWindow>
#include <QPoint>

class QMouseEvent;

namespace orvan::launcher {

/// A main window the user moves by dragging any part of it that does not consume mouse events itself.
/// The first move after a press only records where the pointer is; each following move shifts the window by
/// the pointer's travel since the previous one. Releasing the button ends the drag.
class TDraggableMainWindow : public QMainWindow
{
    Q_OBJECT

public:
    explicit TDraggableMainWindow(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::WindowFlags());

protected:
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    QPoint m_dragPosition;
};

} // namespace orvan::launcher
