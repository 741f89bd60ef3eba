#include "TSystemSurveyValueRetriever.h"

#include "TCpuIdReader.h"
#include "TCpuInfoParser.h"

#include <QFile>
#include <QGuiApplication>
#include <QRect>
#include <QScreen>

#include <cmath>
#include <limits>

#include <unistd.h>

namespace systemsurvey {

const QString TSystemSurveyValueRetriever::DefaultCpuInfoPath = QStringLiteral("/proc/cpuinfo");

TSystemSurveyValueRetriever::TSystemSurveyValueRetriever()
    : TSystemSurveyValueRetriever(DefaultCpuInfoPath, TLsbReleaseQuery())
{}

TSystemSurveyValueRetriever::TSystemSurveyValueRetriever(QString cpuInfoPath, TLsbReleaseQuery releaseQuery)
    : m_cpuInfoPath(std::move(cpuInfoPath)), m_releaseQuery(std::move(releaseQuery))
{}

TSystemSurveyValueRetriever::~TSystemSurveyValueRetriever() = default;

std::vector<TSystemSurveyMonitor> TSystemSurveyValueRetriever::monitors()
{
    std::vector<TSystemSurveyMonitor> result;
    if (qobject_cast<QGuiApplication*>(QCoreApplication::instance()) == nullptr) {
        return result;
    }
    const QScreen* primaryScreen = QGuiApplication::primaryScreen();
    for (const QScreen* screen : QGuiApplication::screens()) {
        TSystemSurveyMonitor monitor;
        const QRect geometry = screen->geometry();
        monitor.width = geometry.width();
        monitor.height = geometry.height();
        monitor.primary = screen == primaryScreen;
        monitor.refreshRate = truncatedRefreshRate(screen->refreshRate());
        result.push_back(monitor);
    }
    return result;
}

TSystemSurveyProcessor TSystemSurveyValueRetriever::processor()
{
    const TCpuIdReader cpuId;
    TSystemSurveyProcessor result;
    result.manufacturer = cpuId.manufacturer();
    result.brandName = cpuId.brandName();
    result.is64Bit = cpuId.is64Bit();
    result.sse = cpuId.sse();
    result.sse2 = cpuId.sse2();
    processorCounts(result.numaNodeCount, result.physicalProcessorCount, result.coreCount,
                    result.logicalProcessorCount);
    result.clockSpeed = clockSpeed();
    return result;
}

TSystemSurveyOperatingSystem TSystemSurveyValueRetriever::operatingSystem()
{
    TSystemSurveyOperatingSystem result;
    result.baseSystem = QStringLiteral("Linux");
    result.name = m_releaseQuery.query(QStringLiteral("-i"));
    result.release = m_releaseQuery.query(QStringLiteral("-r"));
    return result;
}

qint64 TSystemSurveyValueRetriever::mainMemorySize()
{
    const long pages = sysconf(_SC_PHYS_PAGES);
    const long pageSize = sysconf(_SC_PAGESIZE);
    if (pages <= 0 || pageSize <= 0) {
        return 0;
    }
    // Guards the product against overflow on exotic page counts.
    if (pages > std::numeric_limits<qint64>::max() / pageSize) {
        return std::numeric_limits<qint64>::max();
    }
    return static_cast<qint64>(pages) * static_cast<qint64>(pageSize);
}

void TSystemSurveyValueRetriever::processorCounts(quint64& numaNodeCount, quint64& physicalProcessorCount,
                                                  quint64& coreCount, quint64& logicalProcessorCount)
{
    const TCpuInfoParser parser(readCpuInfo());
    numaNodeCount = parser.numaNodeCount();
    physicalProcessorCount = parser.physicalProcessorCount();
    coreCount = parser.coreCount();
    logicalProcessorCount = parser.logicalProcessorCount();
}

double TSystemSurveyValueRetriever::clockSpeed()
{
    return TCpuInfoParser(readCpuInfo()).clockSpeed();
}

std::vector<TSystemSurveyGraphicsAdapter> TSystemSurveyValueRetriever::graphicsAdapters()
{
    TSystemSurveyGraphicsAdapter adapter;
    adapter.deviceString = QStringLiteral("not implemented");
    return {adapter};
}

quint64 TSystemSurveyValueRetriever::truncatedRefreshRate(qreal refreshRate)
{
    if (!std::isfinite(refreshRate) || refreshRate <= 0.0 ||
        refreshRate >= static_cast<qreal>(std::numeric_limits<quint64>::max())) {
        return 0;
    }
    return static_cast<quint64>(refreshRate);
}

QByteArray TSystemSurveyValueRetriever::readCpuInfo() const
{
    QFile file(m_cpuInfoPath);
    // The kernel's table reports a size of 0, so it is read to its end rather than by size.
    if (!file.open(QIODevice::ReadOnly)) {
        return {};
    }
    return file.readAll();
}

} // namespace systemsurvey
