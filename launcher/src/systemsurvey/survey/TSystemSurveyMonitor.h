#pragma once

#include <QtGlobal>

namespace systemsurvey {

/// One screen as the survey reports it.
struct TSystemSurveyMonitor
{
    qint64 width = 0;
    qint64 height = 0;
    bool primary = false;
    /// Hz, fraction dropped.
    quint64 refreshRate = 0;
};

} // namespace systemsurvey
