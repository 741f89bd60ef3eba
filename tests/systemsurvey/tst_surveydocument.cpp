#include "support/TTestHttpServer.h"
#include "survey/TSystemSurveyAsJsonDocumentCreator.h"
#include "survey/TSystemSurveyCreator.h"
#include "survey/TSystemSurveyToJsonConverter.h"
#include "survey/TSystemSurveyUploader.h"
#include "survey/TSystemSurveyValueRetriever.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QNetworkInterface>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

#include <memory>

using namespace systemsurvey;
using testsupport::TTestHttpServer;

namespace {

/// Fixed values for the pipeline; records which values were asked for, in order.
class TFixedValueRetriever : public TSystemSurveyValueRetriever
{
public:
    std::vector<TSystemSurveyMonitor> monitors() override
    {
        calls << QStringLiteral("monitors");
        return {{1920, 1080, true, 59}, {0, 1080, false, 60}, {1280, 0, false, 60}, {1024, 768, false, 75}};
    }
    TSystemSurveyProcessor processor() override
    {
        calls << QStringLiteral("processor");
        TSystemSurveyProcessor processor;
        processor.manufacturer = QStringLiteral("KVM");
        processor.brandName = QStringLiteral("Common KVM processor");
        processor.is64Bit = true;
        processor.sse = true;
        processor.sse2 = false;
        processor.physicalProcessorCount = 2;
        processor.coreCount = 8;
        processor.logicalProcessorCount = 16;
        processor.clockSpeed = 3400.5;
        return processor;
    }
    TSystemSurveyOperatingSystem operatingSystem() override
    {
        calls << QStringLiteral("operatingSystem");
        return {QStringLiteral("Linux"), QStringLiteral("Debian"), release};
    }
    qint64 mainMemorySize() override
    {
        calls << QStringLiteral("mainMemorySize");
        return Q_INT64_C(34359738368);
    }
    std::vector<TSystemSurveyGraphicsAdapter> graphicsAdapters() override
    {
        calls << QStringLiteral("graphicsAdapters");
        return adapters;
    }

    QStringList calls;
    QString release = QStringLiteral("12");
    std::vector<TSystemSurveyGraphicsAdapter> adapters = {{QStringLiteral("not implemented"), 0, 0, 0, QString()}};
};

QStringList sortedKeys(const QJsonObject& object)
{
    QStringList keys = object.keys();
    keys.sort();
    return keys;
}

QStringList sorted(QStringList list)
{
    list.sort();
    return list;
}

QStringList thisMachinesHardwareAddresses()
{
    QStringList addresses;
    for (const QNetworkInterface& networkInterface : QNetworkInterface::allInterfaces()) {
        addresses << networkInterface.hardwareAddress();
    }
    return addresses;
}

const QStringList TopLevelKeys = {QStringLiteral("dataType"),
                                  QStringLiteral("clientID"),
                                  QStringLiteral("monitors"),
                                  QStringLiteral("operatingSystem"),
                                  QStringLiteral("mainMemorySize"),
                                  QStringLiteral("cpu"),
                                  QStringLiteral("gpu")};

const QStringList CpuKeys = {QStringLiteral("manufacturer"),
                             QStringLiteral("brandName"),
                             QStringLiteral("64Bit"),
                             QStringLiteral("sse"),
                             QStringLiteral("sse2"),
                             QStringLiteral("NUMANumber"),
                             QStringLiteral("physicalNumber"),
                             QStringLiteral("coreNumber"),
                             QStringLiteral("logicalCoreNumber"),
                             QStringLiteral("clockSpeed")};

} // namespace

class TSurveyDocumentTest : public QObject
{
    Q_OBJECT

private slots:
    void creatorAsksInOrderAndDropsZeroSizedScreens();
    void documentHasDocumentedKeysAndValues();
    void emptyReleaseLeavesKeyOut();
    void adapterWritesKnownIdsAndDriverOnly_data();
    void adapterWritesKnownIdsAndDriverOnly();

    void clientIdFromAddresses();
    void clientIdOfThisMachineIsStable();

    void uploadSurveyPostsTheDocument();
    void uploadWithoutDocumentCreatorFails();
    void fullPipelineOnThisMachine();
};

void TSurveyDocumentTest::creatorAsksInOrderAndDropsZeroSizedScreens()
{
    auto retriever = std::make_shared<TFixedValueRetriever>();
    TSystemSurveyCreator creator(retriever);
    const TSystemSurvey survey = creator.create();

    QCOMPARE(retriever->calls, (QStringList{QStringLiteral("monitors"), QStringLiteral("operatingSystem"),
                                            QStringLiteral("mainMemorySize"), QStringLiteral("processor"),
                                            QStringLiteral("graphicsAdapters")}));
    QCOMPARE(survey.monitors.size(), std::size_t(2));
    QCOMPARE(survey.monitors[0].width, qint64(1920));
    QCOMPARE(survey.monitors[1].width, qint64(1024));
    QCOMPARE(survey.mainMemorySize, Q_INT64_C(34359738368));
    QCOMPARE(survey.processor.coreCount, quint64(8));
    QCOMPARE(survey.graphicsAdapters.size(), std::size_t(1));
}

void TSurveyDocumentTest::documentHasDocumentedKeysAndValues()
{
    TSystemSurveyAsJsonDocumentCreator documentCreator(
        std::make_shared<TSystemSurveyCreator>(std::make_shared<TFixedValueRetriever>()),
        std::make_shared<TSystemSurveyToJsonConverter>());
    const QJsonObject document = documentCreator.create().object();

    QCOMPARE(sortedKeys(document), sorted(TopLevelKeys));
    QCOMPARE(document.value(QStringLiteral("dataType")), QJsonValue(0));
    QCOMPARE(document.value(QStringLiteral("clientID")).toString(), TSystemSurveyToJsonConverter::clientId());
    QCOMPARE(document.value(QStringLiteral("mainMemorySize")).toVariant().toLongLong(), Q_INT64_C(34359738368));

    const QJsonArray monitors = document.value(QStringLiteral("monitors")).toArray();
    QCOMPARE(monitors.size(), 2);
    const QJsonObject first = monitors.at(0).toObject();
    QCOMPARE(sortedKeys(first), sorted({QStringLiteral("width"), QStringLiteral("height"), QStringLiteral("primary"),
                                        QStringLiteral("refreshRate")}));
    QCOMPARE(first.value(QStringLiteral("width")).toInt(), 1920);
    QCOMPARE(first.value(QStringLiteral("height")).toInt(), 1080);
    QCOMPARE(first.value(QStringLiteral("primary")).toBool(), true);
    QCOMPARE(first.value(QStringLiteral("refreshRate")).toInt(), 59);
    QCOMPARE(monitors.at(1).toObject().value(QStringLiteral("primary")).toBool(), false);
    QCOMPARE(monitors.at(1).toObject().value(QStringLiteral("refreshRate")).toInt(), 75);

    const QJsonObject system = document.value(QStringLiteral("operatingSystem")).toObject();
    QCOMPARE(system, (QJsonObject{{QStringLiteral("baseSystem"), QStringLiteral("Linux")},
                                  {QStringLiteral("name"), QStringLiteral("Debian")},
                                  {QStringLiteral("release"), QStringLiteral("12")}}));

    const QJsonObject cpu = document.value(QStringLiteral("cpu")).toObject();
    QCOMPARE(sortedKeys(cpu), sorted(CpuKeys));
    QCOMPARE(cpu.value(QStringLiteral("manufacturer")).toString(), QStringLiteral("KVM"));
    QCOMPARE(cpu.value(QStringLiteral("brandName")).toString(), QStringLiteral("Common KVM processor"));
    QCOMPARE(cpu.value(QStringLiteral("64Bit")).toBool(), true);
    QCOMPARE(cpu.value(QStringLiteral("sse")).toBool(), true);
    QCOMPARE(cpu.value(QStringLiteral("sse2")).toBool(), false);
    QCOMPARE(cpu.value(QStringLiteral("NUMANumber")).toInt(-1), 0);
    QCOMPARE(cpu.value(QStringLiteral("physicalNumber")).toInt(), 2);
    QCOMPARE(cpu.value(QStringLiteral("coreNumber")).toInt(), 8);
    QCOMPARE(cpu.value(QStringLiteral("logicalCoreNumber")).toInt(), 16);
    QCOMPARE(cpu.value(QStringLiteral("clockSpeed")).toDouble(), 3400.5);

    const QJsonArray gpu = document.value(QStringLiteral("gpu")).toArray();
    QCOMPARE(gpu.size(), 1);
    QCOMPARE(gpu.at(0).toObject(), (QJsonObject{{QStringLiteral("deviceString"), QStringLiteral("not implemented")},
                                                {QStringLiteral("videoMemorySize"), 0}}));
}

void TSurveyDocumentTest::emptyReleaseLeavesKeyOut()
{
    auto retriever = std::make_shared<TFixedValueRetriever>();
    retriever->release.clear();
    TSystemSurveyToJsonConverter converter;
    const QJsonObject system = converter.convert(TSystemSurveyCreator(retriever).create())
                                   .object()
                                   .value(QStringLiteral("operatingSystem"))
                                   .toObject();
    QCOMPARE(sortedKeys(system), sorted({QStringLiteral("baseSystem"), QStringLiteral("name")}));
}

void TSurveyDocumentTest::adapterWritesKnownIdsAndDriverOnly_data()
{
    QTest::addColumn<int>("vendorId");
    QTest::addColumn<int>("deviceId");
    QTest::addColumn<QString>("driverVersion");
    QTest::addColumn<QStringList>("keys");

    const QStringList always = {QStringLiteral("deviceString"), QStringLiteral("videoMemorySize")};
    QTest::newRow("nothing known") << 0 << 0 << QString() << always;
    QTest::newRow("all known") << 0x10de << 0x2484 << QStringLiteral("535.54")
                               << always + QStringList{QStringLiteral("vendorId"), QStringLiteral("deviceId"),
                                                       QStringLiteral("driverVersion")};
    QTest::newRow("device without driver")
        << 0x1002 << 0x73bf << QString()
        << always + QStringList{QStringLiteral("vendorId"), QStringLiteral("deviceId")};
    QTest::newRow("driver without ids") << 0 << 0 << QStringLiteral("Mesa 22.3.6")
                                        << always + QStringList{QStringLiteral("driverVersion")};
}

void TSurveyDocumentTest::adapterWritesKnownIdsAndDriverOnly()
{
    QFETCH(int, vendorId);
    QFETCH(int, deviceId);
    QFETCH(QString, driverVersion);
    QFETCH(QStringList, keys);

    TSystemSurvey survey;
    survey.graphicsAdapters = {{QStringLiteral("Adapter"), Q_INT64_C(8589934592), vendorId, deviceId, driverVersion}};
    const QJsonObject adapter =
        TSystemSurveyToJsonConverter().convert(survey).object().value(QStringLiteral("gpu")).toArray().at(0).toObject();
    QCOMPARE(sortedKeys(adapter), sorted(keys));
    QCOMPARE(adapter.value(QStringLiteral("videoMemorySize")).toVariant().toLongLong(), Q_INT64_C(8589934592));
    QCOMPARE(adapter.value(QStringLiteral("vendorId")).toInt(), vendorId);
    QCOMPARE(adapter.value(QStringLiteral("deviceId")).toInt(), deviceId);
    QCOMPARE(adapter.value(QStringLiteral("driverVersion")).toString(), driverVersion);
}

void TSurveyDocumentTest::clientIdFromAddresses()
{
    // SHA-1 of the salt alone, and of the salt followed by a loopback and an ethernet address.
    QCOMPARE(TSystemSurveyToJsonConverter::clientIdFromHardwareAddresses({}),
             QStringLiteral("f79c0ecc1510abf4b9d0bc72bf9ff16979ca8cf3"));
    const QStringList machine = {QStringLiteral("00:00:00:00:00:00"), QString(), QStringLiteral("52:54:00:12:34:56")};
    const QString id = TSystemSurveyToJsonConverter::clientIdFromHardwareAddresses(machine);
    QCOMPARE(id, QStringLiteral("b4a46eccedb250fa4bf4411cfc44818c6911a714"));
    QCOMPARE(TSystemSurveyToJsonConverter::clientIdFromHardwareAddresses(machine), id);

    const QString withAnotherInterface = TSystemSurveyToJsonConverter::clientIdFromHardwareAddresses(
        machine + QStringList{QStringLiteral("02:42:ac:11:00:02")});
    QVERIFY(withAnotherInterface != id);
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]{40}$")).match(withAnotherInterface).hasMatch());
}

void TSurveyDocumentTest::clientIdOfThisMachineIsStable()
{
    const QString expected =
        TSystemSurveyToJsonConverter::clientIdFromHardwareAddresses(thisMachinesHardwareAddresses());
    TSystemSurvey survey;
    const QJsonObject first = TSystemSurveyToJsonConverter().convert(survey).object();
    const QJsonObject second = TSystemSurveyToJsonConverter().convert(survey).object();
    QCOMPARE(first.value(QStringLiteral("clientID")).toString(), expected);
    QCOMPARE(second.value(QStringLiteral("clientID")).toString(), expected);
}

void TSurveyDocumentTest::uploadSurveyPostsTheDocument()
{
    TTestHttpServer server;
    server.setContent(QStringLiteral("/hardwaresurvey"), R"({"errorCode": 0})", "application/json");
    auto documentCreator = std::make_shared<TSystemSurveyAsJsonDocumentCreator>(
        std::make_shared<TSystemSurveyCreator>(std::make_shared<TFixedValueRetriever>()),
        std::make_shared<TSystemSurveyToJsonConverter>());
    TSystemSurveyUploader uploader(std::make_shared<shared::TJsonDocumentHttpPostSender>(),
                                   server.url(QStringLiteral("/hardwaresurvey")), documentCreator);
    QSignalSpy finishedSpy(&uploader, &TSystemSurveyUploader::finished);

    uploader.uploadSurvey();
    QVERIFY(finishedSpy.wait(20000));
    QCOMPARE(finishedSpy.at(0).at(0).toBool(), true);
    QCOMPARE(server.requestCount(QStringLiteral("/hardwaresurvey")), 1);
    const testsupport::TTestHttpRequest request = server.requests().first();
    QCOMPARE(request.method, QByteArray("POST"));
    QCOMPARE(request.header("Content-Type"), QByteArray("application/json"));
    QCOMPARE(request.header("Content-Disposition"), QByteArray("form-data; name=\"metadata\""));
    QCOMPARE(request.body, documentCreator->create().toJson(QJsonDocument::Compact));
}

void TSurveyDocumentTest::uploadWithoutDocumentCreatorFails()
{
    TTestHttpServer server;
    TSystemSurveyUploader uploader(std::make_shared<shared::TJsonDocumentHttpPostSender>(),
                                   server.url(QStringLiteral("/hardwaresurvey")), nullptr);
    QSignalSpy finishedSpy(&uploader, &TSystemSurveyUploader::finished);
    uploader.uploadSurvey();
    QCOMPARE(finishedSpy.count(), 1);
    QCOMPARE(finishedSpy.at(0).at(0).toBool(), false);
    QVERIFY(!uploader.errorMessage().isEmpty());
    QCOMPARE(server.requestCount(), 0);
}

void TSurveyDocumentTest::fullPipelineOnThisMachine()
{
    TTestHttpServer server;
    server.setContent(QStringLiteral("/hardwaresurvey"), "{}", "application/json");
    auto retriever = std::make_shared<TSystemSurveyValueRetriever>();
    auto documentCreator = std::make_shared<TSystemSurveyAsJsonDocumentCreator>(
        std::make_shared<TSystemSurveyCreator>(retriever), std::make_shared<TSystemSurveyToJsonConverter>());
    TSystemSurveyUploader uploader(std::make_shared<shared::TJsonDocumentHttpPostSender>(),
                                   server.url(QStringLiteral("/hardwaresurvey")), documentCreator);
    QSignalSpy finishedSpy(&uploader, &TSystemSurveyUploader::finished);

    uploader.uploadSurvey();
    QVERIFY(finishedSpy.wait(60000));
    QVERIFY(finishedSpy.at(0).at(0).toBool());

    const QJsonObject document = QJsonDocument::fromJson(server.requests().first().body).object();
    QCOMPARE(sortedKeys(document), sorted(TopLevelKeys));
    QVERIFY(QRegularExpression(QStringLiteral("^[0-9a-f]{40}$"))
                .match(document.value(QStringLiteral("clientID")).toString())
                .hasMatch());
    QCOMPARE(document.value(QStringLiteral("monitors")).toArray().size(), 1);
    QCOMPARE(document.value(QStringLiteral("operatingSystem")).toObject().value(QStringLiteral("baseSystem")),
             QJsonValue(QStringLiteral("Linux")));
    QVERIFY(document.value(QStringLiteral("mainMemorySize")).toDouble() > 0);
    QCOMPARE(sortedKeys(document.value(QStringLiteral("cpu")).toObject()), sorted(CpuKeys));
    QCOMPARE(document.value(QStringLiteral("gpu")).toArray().at(0).toObject().value(QStringLiteral("deviceString")),
             QJsonValue(QStringLiteral("not implemented")));
}

int runSurveyDocumentTests(int argc, char** argv)
{
    TSurveyDocumentTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_surveydocument.moc"
