#include "TMessageBoxPresenter.h"

#include <QDebug>

#include <cstdio>

namespace orvan::launcher {

bool TMessageBoxPresenter::isNonInteractive()
{
    return !qEnvironmentVariableIsEmpty("QUENMAR_NONINTERACTIVE");
}

void TMessageBoxPresenter::log(const QString& title, const QString& text)
{
    qInfo() << "Message box:" << title << text;
    std::fprintf(stderr, "Message box: %s: %s\n", qPrintable(title), qPrintable(text));
    std::fflush(stderr);
}

QMessageBox::StandardButton TMessageBoxPresenter::show(QMessageBox::Icon icon, const QString& title,
                                                       const QString& text, QMessageBox::StandardButtons buttons,
                                                       QMessageBox::StandardButton defaultButton, QWidget* parent)
{
    if (isNonInteractive()) {
        log(title, text);
        if (defaultButton != QMessageBox::NoButton)
            return defaultButton;
        // The first button in the dialog's own order stands for the user's choice.
        for (int bit = QMessageBox::FirstButton; bit <= QMessageBox::LastButton; bit <<= 1) {
            if (buttons.testFlag(static_cast<QMessageBox::StandardButton>(bit)))
                return static_cast<QMessageBox::StandardButton>(bit);
        }
        return QMessageBox::NoButton;
    }
    QMessageBox box(icon, title, text, buttons, parent);
    if (defaultButton != QMessageBox::NoButton)
        box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

} // namespace orvan::launcher
