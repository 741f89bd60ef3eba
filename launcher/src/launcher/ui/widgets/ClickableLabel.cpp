#include "widgets/ClickableLabel.h"

#include <QMouseEvent>

namespace orvan::launcher {

ClickableLabel::ClickableLabel(QWidget* parent) : QLabel(parent) {}

void ClickableLabel::mousePressEvent(QMouseEvent* event)
{
    event->accept();
    emit clicked();
}

} // namespace orvan::launcher
