#pragma once

#include "survey/TSystemSurveyGraphicsAdapter.h"
#include "survey/TSystemSurveyMonitor.h"
#include "survey/TSystemSurveyOperatingSystem.h"
#include "survey/TSystemSurveyProcessor.h"

#include <QtGlobal>

#include <vector>

namespace systemsurvey {

/// Everything one survey reports about the machine.
struct TSystemSurvey
{
    /// Screens of zero width or height are left out.
    std::vector<TSystemSurveyMonitor> monitors;
    TSystemSurveyOperatingSystem operatingSystem;
    /// Bytes.
    qint64 mainMemorySize = 0;
    TSystemSurveyProcessor processor;
    std::vector<TSystemSurveyGraphicsAdapter> graphicsAdapters;
};

} // namespace systemsurvey
