#pragma once

#include <QMessageBox>
#include <QString>

class QWidget;

namespace orvan::launcher {

/// True when the environment variable QUENMAR_NONINTERACTIVE is set (automation, end-to-end tests): the window's
/// message boxes then go to the log and to standard error instead of waiting for a user.
bool isNonInteractiveSession();

/// Writes a message box's title and text to the log and to standard error.
void logMessageBox(const QString& Title, const QString& Text);

/// A modal box with an Ok button, or only its log lines in a non-interactive session.
void showModalMessage(QMessageBox::Icon Icon, const QString& Title, const QString& Text, QWidget* Parent);

} // namespace orvan::launcher
