#pragma once

#include <QString>

namespace systemsurvey {

/// Asks the distribution's release program for one value ("lsb_release -s -i" and the like). When
/// the program cannot be started, the fallback program is tried. Blocks until the program ends or
/// the time-out passes; any failure gives an empty text.
class TLsbReleaseQuery
{
public:
    static constexpr int DefaultTimeoutMs = 30000;

    TLsbReleaseQuery();
    TLsbReleaseQuery(QString program, QString fallbackProgram, int timeoutMs = DefaultTimeoutMs);

    /// The program's answer to "-s" and Option, simplified; empty when it could not be had.
    QString query(const QString& option) const;

    QString program() const { return m_program; }
    QString fallbackProgram() const { return m_fallbackProgram; }
    int timeout() const { return m_timeoutMs; }

private:
    QString m_program;
    QString m_fallbackProgram;
    int m_timeoutMs;
};

} // namespace systemsurvey
