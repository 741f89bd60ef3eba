#pragma once

#include <QString>
#include <QtGlobal>

namespace systemsurvey {

/// One graphics adapter as the survey reports it.
struct TSystemSurveyGraphicsAdapter
{
    QString deviceString;
    /// Bytes.
    qint64 videoMemorySize = 0;
    int vendorId = 0;
    int deviceId = 0;
    QString driverVersion;
};

} // namespace systemsurvey
