#include "TLogMessageHandler.h"

#include <QDir>
#include <QFile>
#include <QMutex>
#include <QMutexLocker>
#include <QPointer>
#include <QTextStream>

#include <algorithm>
#include <cstdlib>
#include <stdexcept>

namespace orvan::launcher {

namespace {

// The file object is never deleted while the program runs; messages from late worker threads
// must still find a valid device.
QPointer<QFile>& logFile()
{
    static QPointer<QFile> file;
    return file;
}

QMutex& writeMutex()
{
    static QMutex mutex;
    return mutex;
}

QString messageTemplate(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg:
        return QStringLiteral("Debug: %1");
    case QtWarningMsg:
        return QStringLiteral("Warning: %1");
    case QtCriticalMsg:
        return QStringLiteral("Critical: %1");
    case QtFatalMsg:
        return QStringLiteral("Fatal: %1");
    case QtInfoMsg:
        return QStringLiteral("Info: %1");
    }
    return QString();
}

bool breaksLogLine(QChar character)
{
    if (character == QLatin1Char('\t'))
        return false;
    const QChar::Category category = character.category();
    return category == QChar::Other_Control || category == QChar::Separator_Line ||
           category == QChar::Separator_Paragraph;
}

} // namespace

QString TLogMessageHandler::escapeControlCharacters(const QString& message)
{
    if (std::none_of(message.begin(), message.end(), breaksLogLine))
        return message;
    QString escaped;
    escaped.reserve(message.size() + 16);
    for (const QChar character : message) {
        if (!breaksLogLine(character))
            escaped += character;
        else if (character == QLatin1Char('\n'))
            escaped += QLatin1String("\\n");
        else if (character == QLatin1Char('\r'))
            escaped += QLatin1String("\\r");
        else
            escaped += QStringLiteral("\\u%1").arg(character.unicode(), 4, 16, QLatin1Char('0'));
    }
    return escaped;
}

void TLogMessageHandler::install(const QString& logFolder, const QString& executableFileName)
{
    // The data folder's parents do not exist on a fresh account; create them too so the very first
    // run is logged.
    QDir folder(logFolder);
    if (!folder.exists() && !QDir().mkpath(logFolder))
        throw std::runtime_error("Failed to create subdirectory.");

    const QString path = QDir::cleanPath(logFolder + QDir::separator() + executableFileName + QStringLiteral(".log"));
    auto* file = new QFile(path);
    file->open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Text);
    {
        QMutexLocker lock(&writeMutex());
        logFile() = file;
    }
    qInstallMessageHandler(&TLogMessageHandler::handleMessage);
}

QString TLogMessageHandler::logFilePath()
{
    QMutexLocker lock(&writeMutex());
    return logFile().isNull() ? QString() : logFile()->fileName();
}

QString TLogMessageHandler::formatLine(QtMsgType type, const QMessageLogContext& context, const QString& message,
                                       const QDateTime& timestamp)
{
    const QString templ = messageTemplate(type);
    // Texts from downloaded documents must not be able to start a line of their own.
    const QString messagePart = templ.isEmpty() ? QString() : templ.arg(escapeControlCharacters(message));
    const QString locationPart =
        QStringLiteral("(%1:%2)").arg(QString::fromUtf8(context.file ? context.file : "")).arg(context.line);
    return QStringLiteral("%1 %2 %3")
        .arg(timestamp.toString(QStringLiteral("yyyy-MM-dd hh:mm:ss")), locationPart, messagePart);
}

void TLogMessageHandler::handleMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (logFile().isNull())
        return;
    if (type == QtFatalMsg)
        std::abort();

    const QString line = formatLine(type, context, message, QDateTime::currentDateTime());
    QMutexLocker lock(&writeMutex());
    QTextStream stream(logFile().data());
    stream << line << '\n';
    stream.flush();
}

} // namespace orvan::launcher
