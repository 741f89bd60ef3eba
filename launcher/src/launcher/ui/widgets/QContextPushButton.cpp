#include "widgets/QContextPushButton.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QMenu>

namespace orvan::launcher {

QContextPushButton::QContextPushButton(QWidget* parent) : QPushButton(parent) {}

void QContextPushButton::setContextMenu(QMenu* menu)
{
    if (m_contextMenu == menu) {
        return;
    }
    if (m_contextMenu) {
        disconnect(m_contextMenu, &QMenu::triggered, this, &QContextPushButton::onContextMenuActionTriggered);
    }
    m_contextMenu = menu;
    if (m_contextMenu) {
        connect(m_contextMenu, &QMenu::triggered, this, &QContextPushButton::onContextMenuActionTriggered);
    }
}

QMenu* QContextPushButton::contextMenu() const
{
    return m_contextMenu;
}

void QContextPushButton::contextMenuEvent(QContextMenuEvent* event)
{
    // Consumed in every case so that no parent widget shows a menu of its own over the button.
    event->accept();
    if (m_contextMenu && !m_contextMenu->actions().isEmpty()) {
        m_contextMenu->popup(event->globalPos());
    }
}

void QContextPushButton::onContextMenuActionTriggered(QAction* action)
{
    if (action) {
        emit contextTriggered(action->text());
    }
}

} // namespace orvan::launcher
