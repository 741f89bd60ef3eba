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

    virtual QJsonDocument convert(const TSystemSurvey& survey);

    /// This machine's identifier: computed from its interfaces on first use, then reused for the
    /// rest of the process.
    static QString clientId();
    /// Lower-case hexadecimal SHA-1 of the fixed salt followed by the hardware addresses in order.
    static QString clientIdFromHardwareAddresses(const QStringList& hardwareAddresses);

private:
    static QJsonObject monitorObject(const TSystemSurveyMonitor& monitor);
    static QJsonObject operatingSystemObject(const TSystemSurveyOperatingSystem& operatingSystem);
    static QJsonObject processorObject(const TSystemSurveyProcessor& processor);
    static QJsonObject graphicsAdapterObject(const TSystemSurveyGraphicsAdapter& adapter);
};

} // namespace systemsurvey
