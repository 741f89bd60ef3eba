#pragma once

#include <QMessageBox>
#include <QString>

namespace orvan::launcher {

/// Shows the launcher's modal message boxes. When the environment variable
/// QUENMAR_NONINTERACTIVE is set (automation, end-to-end tests), the box is not shown: its title
/// and text go to the log and to standard error, and the default button counts as pressed.
class TMessageBoxPresenter
{
public:
    static bool isNonInteractive();
    /// Writes a box's title and text to the log and to standard error.
    static void log(const QString& title, const QString& text);
    static QMessageBox::StandardButton show(QMessageBox::Icon icon, const QString& title, const QString& text,
                                            QMessageBox::StandardButtons buttons,
                                            QMessageBox::StandardButton defaultButton = QMessageBox::NoButton,
                                            QWidget* parent = nullptr);
};

} // namespace orvan::launcher
