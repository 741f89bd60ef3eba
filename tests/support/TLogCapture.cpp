#include "support/TLogCapture.h"

#include <QMutexLocker>

namespace testsupport {

namespace {

TLogCapture* activeCapture = nullptr;

QString typeName(QtMsgType type)
{
    switch (type) {
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

TLogCapture::TLogCapture(EForwarding forwarding) : m_forwarding(forwarding)
{
    activeCapture = this;
    m_previous = qInstallMessageHandler(&TLogCapture::handler);
}

TLogCapture::~TLogCapture()
{
    qInstallMessageHandler(m_previous);
    activeCapture = nullptr;
}

void TLogCapture::handler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    TLogCapture* capture = activeCapture;
    if (capture == nullptr)
        return;
    {
        const QMutexLocker lock(&capture->m_mutex);
        capture->m_lines.append(typeName(type) + QStringLiteral(": ") + message);
    }
    const bool forward = capture->m_forwarding == EForwarding::WarningsAndWorse && type >= QtWarningMsg &&
                         type != QtInfoMsg && capture->m_previous != nullptr;
    if (forward)
        capture->m_previous(type, context, message);
}

QStringList TLogCapture::lines() const
{
    const QMutexLocker lock(&m_mutex);
    return m_lines;
}

int TLogCapture::count(const QString& pattern) const
{
    const QRegularExpression expression(QRegularExpression::anchoredPattern(pattern));
    int matches = 0;
    for (const QString& line : lines()) {
        if (expression.match(line).hasMatch())
            ++matches;
    }
    return matches;
}

int TLogCapture::countContaining(const QString& text) const
{
    int matches = 0;
    for (const QString& line : lines()) {
        if (line.contains(text))
            ++matches;
    }
    return matches;
}

void TLogCapture::clear()
{
    const QMutexLocker lock(&m_mutex);
    m_lines.clear();
}

} // namespace testsupport
