#include "TLogCapture.h"

#include <QMutexLocker>

namespace downloadertest {

namespace {

TLogCapture* activeCapture = nullptr;

QString typeName(QtMsgType Type)
{
    switch (Type) {
    case QtDebugMsg:
        return QStringLiteral("Debug");
    case QtInfoMsg:
        return QStringLiteral("Info");
    case QtWarningMsg:
        return QStringLiteral("Warning");
    case QtCriticalMsg:
        return QStringLiteral("Critical");
    case QtFatalMsg:
        return QStringLiteral("Fatal");
    }
    return QString();
}

} // namespace

TLogCapture::TLogCapture()
{
    activeCapture = this;
    m_previous = qInstallMessageHandler(&TLogCapture::handler);
}

TLogCapture::~TLogCapture()
{
    qInstallMessageHandler(m_previous);
    activeCapture = nullptr;
}

void TLogCapture::handler(QtMsgType Type, const QMessageLogContext& Context, const QString& Message)
{
    TLogCapture* capture = activeCapture;
    if (capture == nullptr)
        return;
    {
        const QMutexLocker lock(&capture->m_mutex);
        capture->m_lines.append(typeName(Type) + QStringLiteral(": ") + Message);
    }
    if (Type >= QtWarningMsg && Type != QtInfoMsg && capture->m_previous != nullptr)
        capture->m_previous(Type, Context, Message);
}

QStringList TLogCapture::lines() const
{
    const QMutexLocker lock(&m_mutex);
    return m_lines;
}

int TLogCapture::count(const QString& Pattern) const
{
    const QRegularExpression expression(QRegularExpression::anchoredPattern(Pattern));
    int matches = 0;
    for (const QString& line : lines()) {
        if (expression.match(line).hasMatch())
            ++matches;
    }
    return matches;
}

int TLogCapture::countContaining(const QString& Text) const
{
    int matches = 0;
    for (const QString& line : lines()) {
        if (line.contains(Text))
            ++matches;
    }
    return matches;
}

void TLogCapture::clear()
{
    const QMutexLocker lock(&m_mutex);
    m_lines.clear();
}

} // namespace downloadertest
