#include "TSystemSurveyToJsonConverter.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QNetworkInterface>

#include <limits>

namespace systemsurvey {

namespace {

const QString ClientIdSalt = QStringLiteral("5e0c2a71-93d4-4b8f-a6e2-1c7f04d9b385");

QJsonValue unsignedValue(quint64 value)
{
    return QJsonValue(static_cast<qint64>(qMin<quint64>(value, std::numeric_limits<qint64>::max())));
}

QStringList interfaceHardwareAddresses()
{
    QStringList addresses;
    for (const QNetworkInterface& networkInterface : QNetworkInterface::allInterfaces()) {
        addresses.append(networkInterface.hardwareAddress());
    }
    return addresses;
}

} // namespace

TSystemSurveyToJsonConverter::TSystemSurveyToJsonConverter() = default;

TSystemSurveyToJsonConverter::~TSystemSurveyToJsonConverter() = default;

QJsonDocument TSystemSurveyToJsonConverter::convert(const TSystemSurvey& survey)
{
    QJsonArray monitors;
    for (const TSystemSurveyMonitor& monitor : survey.monitors) {
        monitors.append(monitorObject(monitor));
    }
    QJsonArray adapters;
    for (const TSystemSurveyGraphicsAdapter& adapter : survey.graphicsAdapters) {
        adapters.append(graphicsAdapterObject(adapter));
    }
    QJsonObject document;
    document.insert(QStringLiteral("dataType"), 0);
    document.insert(QStringLiteral("clientID"), clientId());
    document.insert(QStringLiteral("monitors"), monitors);
    document.insert(QStringLiteral("operatingSystem"), operatingSystemObject(survey.operatingSystem));
    document.insert(QStringLiteral("mainMemorySize"), QJsonValue(survey.mainMemorySize));
    document.insert(QStringLiteral("cpu"), processorObject(survey.processor));
    document.insert(QStringLiteral("gpu"), adapters);
    return QJsonDocument(document);
}

QString TSystemSurveyToJsonConverter::clientId()
{
    static const QString id = clientIdFromHardwareAddresses(interfaceHardwareAddresses());
    return id;
}

QString TSystemSurveyToJsonConverter::clientIdFromHardwareAddresses(const QStringList& hardwareAddresses)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(ClientIdSalt.toLocal8Bit());
    for (const QString& address : hardwareAddresses) {
        hash.addData(address.toLocal8Bit());
    }
    return QString::fromLatin1(hash.result().toHex());
}

QJsonObject TSystemSurveyToJsonConverter::monitorObject(const TSystemSurveyMonitor& monitor)
{
    QJsonObject object;
    object.insert(QStringLiteral("width"), QJsonValue(monitor.width));
    object.insert(QStringLiteral("height"), QJsonValue(monitor.height));
    object.insert(QStringLiteral("primary"), monitor.primary);
    object.insert(QStringLiteral("refreshRate"), unsignedValue(monitor.refreshRate));
    return object;
}

QJsonObject TSystemSurveyToJsonConverter::operatingSystemObject(const TSystemSurveyOperatingSystem& operatingSystem)
{
    QJsonObject object;
    object.insert(QStringLiteral("baseSystem"), operatingSystem.baseSystem);
    object.insert(QStringLiteral("name"), operatingSystem.name);
    if (!operatingSystem.release.isEmpty()) {
        object.insert(QStringLiteral("release"), operatingSystem.release);
    }
    return object;
}

QJsonObject TSystemSurveyToJsonConverter::processorObject(const TSystemSurveyProcessor& processor)
{
    QJsonObject object;
    object.insert(QStringLiteral("manufacturer"), processor.manufacturer);
    object.insert(QStringLiteral("brandName"), processor.brandName);
    object.insert(QStringLiteral("64Bit"), processor.is64Bit);
    object.insert(QStringLiteral("sse"), processor.sse);
    object.insert(QStringLiteral("sse2"), processor.sse2);
    object.insert(QStringLiteral("NUMANumber"), unsignedValue(processor.numaNodeCount));
    object.insert(QStringLiteral("physicalNumber"), unsignedValue(processor.physicalProcessorCount));
    object.insert(QStringLiteral("coreNumber"), unsignedValue(processor.coreCount));
    object.insert(QStringLiteral("logicalCoreNumber"), unsignedValue(processor.logicalProcessorCount));
    object.insert(QStringLiteral("clockSpeed"), processor.clockSpeed);
    return object;
}

QJsonObject TSystemSurveyToJsonConverter::graphicsAdapterObject(const TSystemSurveyGraphicsAdapter& adapter)
{
    QJsonObject object;
    object.insert(QStringLiteral("deviceString"), adapter.deviceString);
    object.insert(QStringLiteral("videoMemorySize"), QJsonValue(adapter.videoMemorySize));
    // Ids of 0 mean "unknown" and are left out, like an unknown driver version.
    if (adapter.vendorId != 0) {
        object.insert(QStringLiteral("vendorId"), adapter.vendorId);
    }
    if (adapter.deviceId != 0) {
        object.insert(QStringLiteral("deviceId"), adapter.deviceId);
    }
    if (!adapter.driverVersion.isEmpty()) {
        object.insert(QStringLiteral("driverVersion"), adapter.driverVersion);
    }
    return object;
}

} // namespace systemsurvey
