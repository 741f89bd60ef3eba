#include "TLsbReleaseQuery.h"

#include "SimplifiedLatin1Text.h"

#include <QProcess>
#include <QStringList>

namespace systemsurvey {

namespace {

/// Time granted to a program that overran its time-out to go away after it was killed.
constexpr int KillGraceMs = 5000;

} // namespace

TLsbReleaseQuery::TLsbReleaseQuery()
    : TLsbReleaseQuery(QStringLiteral("lsb_release"), QStringLiteral("lsb-release"), DefaultTimeoutMs)
{}

TLsbReleaseQuery::TLsbReleaseQuery(QString program, QString fallbackProgram, int timeoutMs)
    : m_program(std::move(program)), m_fallbackProgram(std::move(fallbackProgram)), m_timeoutMs(timeoutMs)
{}

QString TLsbReleaseQuery::query(const QString& option) const
{
    const QStringList arguments = {QStringLiteral("-s"), option};
    QProcess process;
    process.start(m_program, arguments);
    if (!process.waitForStarted(m_timeoutMs) && process.error() == QProcess::FailedToStart &&
        !m_fallbackProgram.isEmpty()) {
        process.start(m_fallbackProgram, arguments);
    }
    if (!process.waitForStarted(m_timeoutMs)) {
        return {};
    }
    if (!process.waitForFinished(m_timeoutMs)) {
        // Never leave a hung program behind.
        process.kill();
        process.waitForFinished(KillGraceMs);
        return {};
    }
    return simplifiedLatin1Text(process.readAllStandardOutput());
}

} // namespace systemsurvey
