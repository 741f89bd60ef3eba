#include "widgets/ClickableLabel.h"
#include "widgets/QContextPushButton.h"
#include "widgets/TDraggableMainWindow.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QVBoxLayout>

using orvan::launcher::ClickableLabel;
using orvan::launcher::QContextPushButton;
using orvan::launcher::TDraggableMainWindow;

namespace {

/// Counts what reaches it, to show which events a child widget lets through.
class TEventCountingWidget : public QWidget
{
public:
    int contextMenuEvents = 0;
    int mousePressEvents = 0;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override
    {
        ++contextMenuEvents;
        event->accept();
    }
    void mousePressEvent(QMouseEvent* event) override
    {
        ++mousePressEvents;
        event->accept();
    }
};

void sendContextMenuEvent(QWidget* widget)
{
    const QPoint local(5, 5);
    QContextMenuEvent event(QContextMenuEvent::Mouse, local, widget->mapToGlobal(local));
    QApplication::sendEvent(widget, &event);
}

/// A mouse move with the left button held, at a global position that may lie between pixels.
void sendDragMove(QWidget* target, const QPointF& global)
{
    const QPointF local = target->mapFromGlobal(global.toPoint());
    QMouseEvent event(QEvent::MouseMove, local, local, global, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void sendRelease(QWidget* target, const QPointF& global)
{
    const QPointF local = target->mapFromGlobal(global.toPoint());
    QMouseEvent event(QEvent::MouseButtonRelease, local, local, global, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

} // namespace

class TWidgetsTest : public QObject
{
    Q_OBJECT

private slots:
    void buttonWithoutMenuEntriesShowsNothing_data();
    void buttonWithoutMenuEntriesShowsNothing();
    void buttonMenuReportsChosenEntry();
    void buttonLeftClickDoesNotOpenMenu();
    void clickableLabelReportsEveryPress();
    void dragMovesWindowFromSecondMoveOn();
    void dragRoundsHalfPixelsUpwards();
    void dragThroughChildThatIgnoresMouse();
    void cleanup();
};

void TWidgetsTest::cleanup()
{
    while (QWidget* popup = QApplication::activePopupWidget()) {
        popup->close();
    }
}

void TWidgetsTest::buttonWithoutMenuEntriesShowsNothing_data()
{
    QTest::addColumn<bool>("withMenu");
    QTest::newRow("no menu") << false;
    QTest::newRow("menu cleared") << true;
}

void TWidgetsTest::buttonWithoutMenuEntriesShowsNothing()
{
    QFETCH(bool, withMenu);
    TEventCountingWidget parent;
    auto* layout = new QVBoxLayout(&parent);
    auto* button = new QContextPushButton(&parent);
    layout->addWidget(button);
    QMenu* menu = nullptr;
    if (withMenu) {
        menu = new QMenu(button);
        button->setContextMenu(menu);
        menu->addAction(QStringLiteral("Verify"));
        // A package that is no longer installed loses its entries this way.
        menu->clear();
    }
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    QSignalSpy spy(button, &QContextPushButton::contextTriggered);

    sendContextMenuEvent(button);

    QCOMPARE(QApplication::activePopupWidget(), nullptr);
    if (menu) {
        QVERIFY(!menu->isVisible());
    }
    QCOMPARE(parent.contextMenuEvents, 0);
    QCOMPARE(spy.count(), 0);
}

void TWidgetsTest::buttonMenuReportsChosenEntry()
{
    QContextPushButton button;
    auto* menu = new QMenu(&button);
    button.setContextMenu(menu);
    menu->addAction(QStringLiteral("Verify"));
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    QSignalSpy spy(&button, &QContextPushButton::contextTriggered);

    sendContextMenuEvent(&button);
    QTRY_COMPARE(QApplication::activePopupWidget(), menu);
    QTest::keyClick(menu, Qt::Key_Down);
    QTest::keyClick(menu, Qt::Key_Return);

    QTRY_COMPARE(spy.count(), 1);
    QCOMPARE(spy.first().first().toString(), QString("Verify"));
    QVERIFY(!menu->isVisible());

    // A replaced menu no longer reports through the button.
    auto* other = new QMenu(&button);
    button.setContextMenu(other);
    menu->actions().first()->trigger();
    QCOMPARE(spy.count(), 1);
    other->addAction(QStringLiteral("Repair"))->trigger();
    QCOMPARE(spy.count(), 2);
    QCOMPARE(spy.last().first().toString(), QString("Repair"));
}

void TWidgetsTest::buttonLeftClickDoesNotOpenMenu()
{
    QContextPushButton button;
    auto* menu = new QMenu(&button);
    button.setContextMenu(menu);
    menu->addAction(QStringLiteral("Verify"));
    button.resize(98, 40);
    button.show();
    QVERIFY(QTest::qWaitForWindowExposed(&button));
    QSignalSpy clicked(&button, &QPushButton::clicked);

    QTest::mouseClick(&button, Qt::LeftButton);

    QCOMPARE(clicked.count(), 1);
    QVERIFY(!menu->isVisible());
    QCOMPARE(QApplication::activePopupWidget(), nullptr);
}

void TWidgetsTest::clickableLabelReportsEveryPress()
{
    TEventCountingWidget parent;
    auto* layout = new QVBoxLayout(&parent);
    auto* clickable = new ClickableLabel(&parent);
    auto* plain = new QLabel(&parent);
    for (QLabel* label : {static_cast<QLabel*>(clickable), plain}) {
        label->setText(QStringLiteral("Selectable caption text"));
        label->setTextInteractionFlags(Qt::TextSelectableByMouse);
        layout->addWidget(label);
    }
    parent.show();
    QVERIFY(QTest::qWaitForWindowExposed(&parent));
    QSignalSpy spy(clickable, &ClickableLabel::clicked);
    QTest::mousePress(clickable, Qt::RightButton, Qt::NoModifier, QPoint(6, 6));

    // Press and drag across the text: a plain label starts a selection in its press handler.
    for (QLabel* label : {static_cast<QLabel*>(clickable), plain}) {
        QTest::mousePress(label, Qt::LeftButton, Qt::NoModifier, QPoint(2, 6));
        sendDragMove(label, label->mapToGlobal(QPoint(80, 6)));
        QTest::mouseRelease(label, Qt::LeftButton, Qt::NoModifier, QPoint(80, 6));
    }

    QCOMPARE(spy.count(), 2);
    QVERIFY(plain->hasSelectedText());
    QVERIFY(!clickable->hasSelectedText());
    QCOMPARE(parent.mousePressEvents, 0);
}

void TWidgetsTest::dragMovesWindowFromSecondMoveOn()
{
    TDraggableMainWindow window;
    window.setGeometry(200, 150, 320, 200);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QPoint start = window.pos();
    const QPoint grip = window.mapToGlobal(QPoint(40, 30));

    // Press, move by (10, 0) twice, release: the first move only records where the pointer is.
    QTest::mousePress(&window, Qt::LeftButton, Qt::NoModifier, QPoint(40, 30));
    sendDragMove(&window, grip + QPoint(10, 0));
    QCOMPARE(window.pos(), start);
    sendDragMove(&window, grip + QPoint(20, 0));
    QTRY_COMPARE(window.pos(), start + QPoint(10, 0));
    sendRelease(&window, grip + QPoint(20, 0));

    // After the release the next move must not jump the window by the distance since the last drag.
    sendDragMove(&window, grip + QPoint(200, 90));
    QCOMPARE(window.pos(), start + QPoint(10, 0));
    sendDragMove(&window, grip + QPoint(195, 100));
    QTRY_COMPARE(window.pos(), start + QPoint(5, 10));
}

void TWidgetsTest::dragRoundsHalfPixelsUpwards()
{
    TDraggableMainWindow window;
    window.setGeometry(300, 200, 320, 200);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QPoint start = window.pos();

    // 400.5 rounds to 401 and 409.4 to 409: the window follows by 8 pixels, not 9.
    sendDragMove(&window, QPointF(400.5, 300.5));
    sendDragMove(&window, QPointF(409.4, 300.49));
    QTRY_COMPARE(window.pos(), start + QPoint(8, -1));
}

void TWidgetsTest::dragThroughChildThatIgnoresMouse()
{
    TDraggableMainWindow window;
    auto* label = new QLabel(QStringLiteral("Quenmar Online"));
    window.setCentralWidget(label);
    window.setGeometry(100, 100, 320, 200);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const QPoint start = window.pos();
    const QPoint grip = label->mapToGlobal(QPoint(20, 20));

    sendDragMove(label, grip);
    sendDragMove(label, grip + QPoint(-7, 12));

    QTRY_COMPARE(window.pos(), start + QPoint(-7, 12));
}

int runWidgetTests(int argc, char** argv)
{
    TWidgetsTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_widgets.moc"
