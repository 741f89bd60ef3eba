#pragma once

#include "survey/TSystemSurvey.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QString>
#include <QStringList>

namespace systemsurvey {

/// Turns a survey into the JSON document the survey endpoint expects, with an anonymous client
/// identifier derived from the machine's network hardware addresses.
class TSystemSurveyToJsonConverter
{
public:
    TSystemSurveyToJsonConverter();
    virtual ~TSystemSurveyToJsonConverter();
    TSystemSurveyToJsonConverter(const TSystemSurveyToJsonConverter&) = delete;
    TSystemSurveyToJsonConverter& operator=(const TSystemSurveyToJsonConverter&) = delete;

    virtual QJsonDocument convert(const TSystemSurvey& Survey);

    /// This machine's identifier: computed from its interfaces on first use, then reused for the
    /// rest of the process.
    static QString clientId();
    /// Lower-case hexadecimal SHA-1 of the fixed salt followed by the hardware addresses in order.
    static QString clientIdFromHardwareAddresses(const QStringList& HardwareAddresses);

private:
    static QJsonObject monitorObject(const TSystemSurveyMonitor& Monitor);
    static QJsonObject operatingSystemObject(const TSystemSurveyOperatingSystem& OperatingSystem);
    static QJsonObject processorObject(const TSystemSurveyProcessor& Processor);
    static QJsonObject graphicsAdapterObject(const TSystemSurveyGraphicsAdapter& Adapter);
};

} // namespace systemsurvey
