#pragma once

#include <QString>
#include <QtGlobal>

namespace systemsurvey {

/// The processor as the survey reports it.
struct TSystemSurveyProcessor
{
    QString manufacturer;
    QString brandName;
    bool is64Bit = false;
    bool sse = false;
    bool sse2 = false;
    quint64 numaNodeCount = 0;
    quint64 physicalProcessorCount = 0;
    quint64 coreCount = 0;
    quint64 logicalProcessorCount = 0;
    /// MHz.
    double clockSpeed = 0.0;
};

} // namespace systemsurvey
