#pragma once

#include <QDateTime>
#include <QString>
#include <QtGlobal>

namespace orvan::launcher {

/// The process-wide log: one file per run, one line per message, written under a mutex so that
/// lines from worker threads never interleave. Nothing reaches the terminal once installed.
class TLogMessageHandler
{
public:
    /// Creates the folder (with missing parents) when missing, opens "<folder>/<executable>.log" truncated
    /// and installs the handler. Throws std::runtime_error when the folder can't be created.
    static void install(const QString& logFolder, const QString& executableFileName);
    /// The path of the file currently written, empty when none.
    static QString logFilePath();

    /// Message with line breaks and other control characters (tab aside) written as "\n", "\r"
    /// or "\uXXXX", so that one message always stays one line.
    static QString escapeControlCharacters(const QString& message);
    /// Formats one message the way it appears in the file (without the line end).
    static QString formatLine(QtMsgType type, const QMessageLogContext& context, const QString& message,
                              const QDateTime& timestamp);
    static void handleMessage(QtMsgType type, const QMessageLogContext& context, const QString& message);
};

} // namespace orvan::launcher
