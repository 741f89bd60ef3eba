#pragma once

#include <QPointer>
#include <QPushButton>
#include <QString>

class QAction;
class QContextMenuEvent;
class QMenu;

namespace orvan::launcher {

/// A push button that offers a context menu (right click or menu key) and reports the chosen entry by its text.
/// A button without a menu, or with an empty one, shows nothing and swallows the event.
class QContextPushButton : public QPushButton
{
    Q_OBJECT

public:
    explicit QContextPushButton(QWidget* parent = nullptr);

    /// Uses menu as the context menu and routes its triggered(QAction*) to contextTriggered. The button does not
    /// take ownership: create the menu with the button as parent. Unlike QPushButton::setMenu, a left click
    /// still just clicks.
    void setContextMenu(QMenu* menu);
    QMenu* contextMenu() const;

signals:
    // NOLINTBEGIN(readability-identifier-naming)
    void contextTriggered(QString actionText);
    // NOLINTEND(readability-identifier-naming)

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private slots:
    void onContextMenuActionTriggered(QAction* action);

private:
    // Guarded: the menu's owner may delete it before the button.
    QPointer<QMenu> m_contextMenu;
};

} // namespace orvan::launcher
