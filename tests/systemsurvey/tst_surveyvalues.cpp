#include "support/TestFiles.h"
#include "survey/SimplifiedLatin1Text.h"
#include "survey/TCpuIdReader.h"
#include "survey/TCpuInfoParser.h"
#include "survey/TLsbReleaseQuery.h"
#include "survey/TSystemSurveyValueRetriever.h"

#include <QGuiApplication>
#include <QScreen>
#include <QTest>

#include <limits>

using systemsurvey::TCpuIdReader;
using systemsurvey::TCpuInfoParser;
using systemsurvey::TLsbReleaseQuery;
using systemsurvey::TSystemSurveyValueRetriever;

namespace {

QString fixturePath(const QString& name)
{
    return testsupport::testDataPath(QStringLiteral("systemsurvey/") + name);
}

QByteArray fixture(const QString& name)
{
    return testsupport::readTestData(QStringLiteral("systemsurvey/") + name);
}

const QString MissingProgram = QStringLiteral("/nonexistent/quenmar/lsb_release");

} // namespace

class TSurveyValuesTest : public QObject
{
    Q_OBJECT

private slots:
    // Processor table
    void cpuInfoCounts_data();
    void cpuInfoCounts();
    void retrieverReadsProcessorTableFile();
    void missingProcessorTableGivesZeros();

    // cpuid
    void manufacturerForVendor_data();
    void manufacturerForVendor();
    void simplifiedLatin1Text_data();
    void simplifiedLatin1Text();
    void processorOfThisMachine();

    // Distribution release
    void releaseQuery_data();
    void releaseQuery();
    void hangingReleaseProgramIsAbandoned();
    void operatingSystemWithoutReleaseProgram();
    void operatingSystemFromFallbackProgram();

    // Screens and memory
    void offscreenPlatformHasOnePrimaryMonitor();
    void truncatedRefreshRate_data();
    void truncatedRefreshRate();
    void mainMemorySizeIsKnown();
};

void TSurveyValuesTest::cpuInfoCounts_data()
{
    QTest::addColumn<QByteArray>("text");
    QTest::addColumn<quint64>("logical");
    QTest::addColumn<quint64>("physical");
    QTest::addColumn<quint64>("cores");
    QTest::addColumn<double>("clock");

    QTest::newRow("two sockets") << fixture(QStringLiteral("cpuinfo-two-sockets.txt")) << quint64(4) << quint64(2)
                                 << quint64(2) << 3400.5;
    // "Common KVM processor" in the model name must not count as another processor.
    QTest::newRow("kvm guest") << fixture(QStringLiteral("cpuinfo-kvm-guest.txt")) << quint64(2) << quint64(1)
                               << quint64(2) << 2595.124;
    QTest::newRow("arm64 without ids or clock")
        << fixture(QStringLiteral("cpuinfo-arm64.txt")) << quint64(4) << quint64(0) << quint64(0) << 0.0;
    QTest::newRow("empty") << QByteArray() << quint64(0) << quint64(0) << quint64(0) << 0.0;
    QTest::newRow("last cpu cores wins, junk ignored")
        << QByteArray("processor : 0\ncpu cores : 8\ncpu cores : 4\ncpu cores : many\ncpu MHz : fast\n"
                      "cpu MHz : inf\ncpu MHz : 800.5 boost\nno colon here\n")
        << quint64(1) << quint64(0) << quint64(4) << 800.5;
    QTest::newRow("windows line ends") << QByteArray("processor\t: 0\r\nphysical id\t: 3\r\ncpu MHz\t: 1000\r\n"
                                                     "processor\t: 1\r\nphysical id\t: 3\r\n")
                                       << quint64(2) << quint64(1) << quint64(0) << 1000.0;
}

void TSurveyValuesTest::cpuInfoCounts()
{
    QFETCH(QByteArray, text);
    QFETCH(quint64, logical);
    QFETCH(quint64, physical);
    QFETCH(quint64, cores);
    QFETCH(double, clock);

    const TCpuInfoParser parser(text);
    QCOMPARE(parser.logicalProcessorCount(), logical);
    QCOMPARE(parser.physicalProcessorCount(), physical);
    QCOMPARE(parser.coreCount(), cores);
    QCOMPARE(parser.numaNodeCount(), quint64(0));
    QCOMPARE(parser.clockSpeed(), clock);
}

void TSurveyValuesTest::retrieverReadsProcessorTableFile()
{
    TSystemSurveyValueRetriever retriever(fixturePath(QStringLiteral("cpuinfo-two-sockets.txt")),
                                          TLsbReleaseQuery(MissingProgram, QString()));
    const systemsurvey::TSystemSurveyProcessor processor = retriever.processor();
    QCOMPARE(processor.logicalProcessorCount, quint64(4));
    QCOMPARE(processor.physicalProcessorCount, quint64(2));
    QCOMPARE(processor.coreCount, quint64(2));
    QCOMPARE(processor.numaNodeCount, quint64(0));
    QCOMPARE(processor.clockSpeed, 3400.5);
}

void TSurveyValuesTest::missingProcessorTableGivesZeros()
{
    TSystemSurveyValueRetriever retriever(fixturePath(QStringLiteral("no-such-cpuinfo")),
                                          TLsbReleaseQuery(MissingProgram, QString()));
    quint64 numa = 9;
    quint64 physical = 9;
    quint64 cores = 9;
    quint64 logical = 9;
    retriever.processorCounts(numa, physical, cores, logical);
    QCOMPARE(numa + physical + cores + logical, quint64(0));
    QCOMPARE(retriever.clockSpeed(), 0.0);
}

void TSurveyValuesTest::manufacturerForVendor_data()
{
    QTest::addColumn<QByteArray>("vendor");
    QTest::addColumn<QString>("manufacturer");
    QTest::newRow("kvm") << QByteArray("KVMKVMKVMKVM") << QStringLiteral("KVM");
    QTest::newRow("intel") << QByteArray("GenuineIntel") << QStringLiteral("Intel");
    QTest::newRow("xen") << QByteArray("XenVMMXenVMM") << QStringLiteral(" Xen HVM");
    QTest::newRow("vortex") << QByteArray("Vortex86 SoC") << QStringLiteral(" Vortex");
    QTest::newRow("unlisted") << QByteArray("HygonGenuine") << QStringLiteral("Unknown Manufacturer");
    QTest::newRow("case matters") << QByteArray("genuineintel") << QStringLiteral("Unknown Manufacturer");
    QTest::newRow("empty") << QByteArray() << QStringLiteral("Unknown Manufacturer");
}

void TSurveyValuesTest::manufacturerForVendor()
{
    QFETCH(QByteArray, vendor);
    QFETCH(QString, manufacturer);
    QCOMPARE(TCpuIdReader::manufacturerForVendor(vendor), manufacturer);
}

void TSurveyValuesTest::simplifiedLatin1Text_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<QString>("text");
    QTest::newRow("padded brand") << QByteArray("       Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz\0\0\0\0", 50)
                                  << QStringLiteral("Intel(R) Core(TM) i7-8700 CPU @ 3.20GHz");
    QTest::newRow("inner runs") << QByteArray("AMD  Ryzen\t7\n5800X   ") << QStringLiteral("AMD Ryzen 7 5800X");
    QTest::newRow("stops at zero") << QByteArray("12\0garbage", 10) << QStringLiteral("12");
    QTest::newRow("latin-1") << QByteArray("Caf\xe9\xae") << QStringLiteral("Caf\u00e9\u00ae");
    QTest::newRow("only zero") << QByteArray("\0abc", 4) << QString();
}

void TSurveyValuesTest::simplifiedLatin1Text()
{
    QFETCH(QByteArray, bytes);
    QFETCH(QString, text);
    QCOMPARE(systemsurvey::simplifiedLatin1Text(bytes), text);
}

void TSurveyValuesTest::processorOfThisMachine()
{
#if defined(__x86_64__)
    const TCpuIdReader cpuId;
    QCOMPARE(cpuId.vendor().size(), 12);
    QCOMPARE(cpuId.manufacturer(), TCpuIdReader::manufacturerForVendor(cpuId.vendor()));
    // Every x86-64 processor has long mode, SSE and SSE2 and a brand text.
    QVERIFY(cpuId.is64Bit());
    QVERIFY(cpuId.sse());
    QVERIFY(cpuId.sse2());
    QVERIFY(!cpuId.brandName().isEmpty());
    QCOMPARE(cpuId.brandName(), cpuId.brandName().simplified());

    TSystemSurveyValueRetriever retriever;
    const systemsurvey::TSystemSurveyProcessor processor = retriever.processor();
    QCOMPARE(processor.manufacturer, cpuId.manufacturer());
    QCOMPARE(processor.brandName, cpuId.brandName());
    QVERIFY(processor.logicalProcessorCount >= 1);
#else
    QSKIP("cpuid is read on x86-64 only");
#endif
}

void TSurveyValuesTest::releaseQuery_data()
{
    QTest::addColumn<QString>("program");
    QTest::addColumn<QString>("fallback");
    QTest::addColumn<QString>("option");
    QTest::addColumn<QString>("expected");

    const QString fake = fixturePath(QStringLiteral("fake-lsb-release.sh"));
    const QString silent = fixturePath(QStringLiteral("silent-lsb-release.sh"));
    QTest::newRow("name simplified") << fake << MissingProgram << QStringLiteral("-i")
                                     << QStringLiteral("Debian GNU/Linux");
    QTest::newRow("release up to zero byte") << fake << MissingProgram << QStringLiteral("-r") << QStringLiteral("12");
    QTest::newRow("fallback when missing")
        << MissingProgram << fake << QStringLiteral("-i") << QStringLiteral("Debian GNU/Linux");
    QTest::newRow("no fallback when started") << silent << fake << QStringLiteral("-i") << QString();
    QTest::newRow("both missing") << MissingProgram << MissingProgram + QStringLiteral("2") << QStringLiteral("-r")
                                  << QString();
}

void TSurveyValuesTest::releaseQuery()
{
    QFETCH(QString, program);
    QFETCH(QString, fallback);
    QFETCH(QString, option);
    QFETCH(QString, expected);
    const TLsbReleaseQuery query(program, fallback);
    const QString result = query.query(option);
    QCOMPARE(result, expected);
    QCOMPARE(result.isEmpty(), expected.isEmpty());
}

void TSurveyValuesTest::hangingReleaseProgramIsAbandoned()
{
    const TLsbReleaseQuery query(fixturePath(QStringLiteral("hanging-lsb-release.sh")), MissingProgram, 200);
    QCOMPARE(query.query(QStringLiteral("-i")), QString());
}

void TSurveyValuesTest::operatingSystemWithoutReleaseProgram()
{
    TSystemSurveyValueRetriever retriever(TSystemSurveyValueRetriever::DefaultCpuInfoPath,
                                          TLsbReleaseQuery(MissingProgram, MissingProgram + QStringLiteral("2")));
    const systemsurvey::TSystemSurveyOperatingSystem system = retriever.operatingSystem();
    QCOMPARE(system.baseSystem, QStringLiteral("Linux"));
    QVERIFY(system.name.isEmpty());
    QVERIFY(system.release.isEmpty());
}

void TSurveyValuesTest::operatingSystemFromFallbackProgram()
{
    TSystemSurveyValueRetriever retriever(
        TSystemSurveyValueRetriever::DefaultCpuInfoPath,
        TLsbReleaseQuery(MissingProgram, fixturePath(QStringLiteral("fake-lsb-release.sh"))));
    const systemsurvey::TSystemSurveyOperatingSystem system = retriever.operatingSystem();
    QCOMPARE(system.baseSystem, QStringLiteral("Linux"));
    QCOMPARE(system.name, QStringLiteral("Debian GNU/Linux"));
    QCOMPARE(system.release, QStringLiteral("12"));
}

void TSurveyValuesTest::offscreenPlatformHasOnePrimaryMonitor()
{
    const QList<QScreen*> screens = QGuiApplication::screens();
    QCOMPARE(screens.size(), 1);
    TSystemSurveyValueRetriever retriever;
    const std::vector<systemsurvey::TSystemSurveyMonitor> monitors = retriever.monitors();
    QCOMPARE(monitors.size(), std::size_t(1));
    QCOMPARE(monitors[0].width, qint64(screens[0]->geometry().width()));
    QCOMPARE(monitors[0].height, qint64(screens[0]->geometry().height()));
    QVERIFY(monitors[0].width > 0 && monitors[0].height > 0);
    QVERIFY(monitors[0].primary);
    QCOMPARE(monitors[0].refreshRate, TSystemSurveyValueRetriever::truncatedRefreshRate(screens[0]->refreshRate()));
}

void TSurveyValuesTest::truncatedRefreshRate_data()
{
    QTest::addColumn<qreal>("rate");
    QTest::addColumn<quint64>("hertz");
    QTest::newRow("59.94") << qreal(59.94) << quint64(59);
    QTest::newRow("144") << qreal(144.0) << quint64(144);
    QTest::newRow("0.5") << qreal(0.5) << quint64(0);
    QTest::newRow("negative") << qreal(-60.0) << quint64(0);
    QTest::newRow("nan") << std::numeric_limits<qreal>::quiet_NaN() << quint64(0);
    QTest::newRow("infinite") << std::numeric_limits<qreal>::infinity() << quint64(0);
}

void TSurveyValuesTest::truncatedRefreshRate()
{
    QFETCH(qreal, rate);
    QFETCH(quint64, hertz);
    QCOMPARE(TSystemSurveyValueRetriever::truncatedRefreshRate(rate), hertz);
}

void TSurveyValuesTest::mainMemorySizeIsKnown()
{
    TSystemSurveyValueRetriever retriever;
    const qint64 size = retriever.mainMemorySize();
    QVERIFY(size > 0);
    QCOMPARE(size % 4096, qint64(0));
}

int runSurveyValuesTests(int argc, char** argv)
{
    TSurveyValuesTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_surveyvalues.moc"
