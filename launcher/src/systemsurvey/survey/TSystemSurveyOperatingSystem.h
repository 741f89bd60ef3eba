#pragma once

#include <QString>

namespace systemsurvey {

/// The operating system as the survey reports it; name and release are empty when unknown.
struct TSystemSurveyOperatingSystem
{
    QString baseSystem;
    QString name;
    QString release;
};

} // namespace systemsurvey
