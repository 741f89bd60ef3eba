#include "mainwindow/ModalMessage.h"

#include <QDebug>

#include <cstdio>

namespace orvan::launcher {

bool isNonInteractiveSession()
{
    return !qEnvironmentVariableIsEmpty("QUENMAR_NONINTERACTIVE");
}

void logMessageBox(const QString& Title, const QString& Text)
{
    qInfo() << "Message box:" << Title << Text;
    std::fprintf(stderr, "Message box: %s: %s\n", qPrintable(Title), qPrintable(Text));
    std::fflush(stderr);
}

void showModalMessage(QMessageBox::Icon Icon, const QString& Title, const QString& Text, QWidget* Parent)
{
    if (isNonInteractiveSession()) {
        logMessageBox(Title, Text);
        return;
    }
    QMessageBox box(Icon, Title, Text, QMessageBox::Ok, Parent);
    box.exec();
}

} // namespace orvan::launcher
