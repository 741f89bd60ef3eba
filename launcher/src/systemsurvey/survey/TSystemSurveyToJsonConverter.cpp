#include "TSystemSurveyToJsonConverter.h"

#include <QCryptographicHash>
#include <QJsonArray>
#include <QNetworkInterface>

#include <limits>

namespace systemsurvey {

namespace {

const QString ClientIdSalt = QStringLiteral("5e0c2a71-93d4-4b8f-a6e2-1c7f04d9b385");

QJsonValue unsignedValue(quint64 Value)
{
    return QJsonValue(static_cast<qint64>(qMin<quint64>(Value, std::numeric_limits<qint64>::max())));
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

QJsonDocument TSystemSurveyToJsonConverter::convert(const TSystemSurvey& Survey)
{
    QJsonArray monitors;
    for (const TSystemSurveyMonitor& monitor : Survey.monitors) {
        monitors.append(monitorObject(monitor));
    }
    QJsonArray adapters;
    for (const TSystemSurveyGraphicsAdapter& adapter : Survey.graphicsAdapters) {
        adapters.append(graphicsAdapterObject(adapter));
    }
    QJsonObject document;
    document.insert(QStringLiteral("dataType"), 0);
    document.insert(QStringLiteral("clientID"), clientId());
    document.insert(QStringLiteral("monitors"), monitors);
    document.insert(QStringLiteral("operatingSystem"), operatingSystemObject(Survey.operatingSystem));
    document.insert(QStringLiteral("mainMemorySize"), QJsonValue(Survey.mainMemorySize));
    document.insert(QStringLiteral("cpu"), processorObject(Survey.processor));
    document.insert(QStringLiteral("gpu"), adapters);
    return QJsonDocument(document);
}

QString TSystemSurveyToJsonConverter::clientId()
{
    static const QString id = clientIdFromHardwareAddresses(interfaceHardwareAddresses());
    return id;
}

QString TSystemSurveyToJsonConverter::clientIdFromHardwareAddresses(const QStringList& HardwareAddresses)
{
    QCryptographicHash hash(QCryptographicHash::Sha1);
    hash.addData(ClientIdSalt.toLocal8Bit());
    for (const QString& address : HardwareAddresses) {
        hash.addData(address.toLocal8Bit());
    }
    return QString::fromLatin1(hash.result().toHex());
}

QJsonObject TSystemSurveyToJsonConverter::monitorObject(const TSystemSurveyMonitor& Monitor)
{
    QJsonObject object;
    object.insert(QStringLiteral("width"), QJsonValue(Monitor.width));
    object.insert(QStringLiteral("height"), QJsonValue(Monitor.height));
    object.insert(QStringLiteral("primary"), Monitor.primary);
    object.insert(QStringLiteral("refreshRate"), unsignedValue(Monitor.refreshRate));
    return object;
}

QJsonObject TSystemSurveyToJsonConverter::operatingSystemObject(const TSystemSurveyOperatingSystem& OperatingSystem)
{
    QJsonObject object;
    object.insert(QStringLiteral("baseSystem"), OperatingSystem.baseSystem);
    object.insert(QStringLiteral("name"), OperatingSystem.name);
    if (!OperatingSystem.release.isEmpty()) {
        object.insert(QStringLiteral("release"), OperatingSystem.release);
    }
    return object;
}

QJsonObject TSystemSurveyToJsonConverter::processorObject(const TSystemSurveyProcessor& Processor)
{
    QJsonObject object;
    object.insert(QStringLiteral("manufacturer"), Processor.manufacturer);
    object.insert(QStringLiteral("brandName"), Processor.brandName);
    object.insert(QStringLiteral("64Bit"), Processor.is64Bit);
    object.insert(QStringLiteral("sse"), Processor.sse);
    object.insert(QStringLiteral("sse2"), Processor.sse2);
    object.insert(QStringLiteral("NUMANumber"), unsignedValue(Processor.numaNodeCount));
    object.insert(QStringLiteral("physicalNumber"), unsignedValue(Processor.physicalProcessorCount));
    object.insert(QStringLiteral("coreNumber"), unsignedValue(Processor.coreCount));
    object.insert(QStringLiteral("logicalCoreNumber"), unsignedValue(Processor.logicalProcessorCount));
    object.insert(QStringLiteral("clockSpeed"), Processor.clockSpeed);
    return object;
}

QJsonObject TSystemSurveyToJsonConverter::graphicsAdapterObject(const TSystemSurveyGraphicsAdapter& Adapter)
{
    QJsonObject object;
    object.insert(QStringLiteral("deviceString"), Adapter.deviceString);
    object.insert(QStringLiteral("videoMemorySize"), QJsonValue(Adapter.videoMemorySize));
    // Ids of 0 mean "unknown" and are left out, like an unknown driver version.
    if (Adapter.vendorId != 0) {
        object.insert(QStringLiteral("vendorId"), Adapter.vendorId);
    }
    if (Adapter.deviceId != 0) {
        object.insert(QStringLiteral("deviceId"), Adapter.deviceId);
    }
    if (!Adapter.driverVersion.isEmpty()) {
        object.insert(QStringLiteral("driverVersion"), Adapter.driverVersion);
    }
    return object;
}

} // namespace systemsurvey
