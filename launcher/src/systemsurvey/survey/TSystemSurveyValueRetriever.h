#pragma once

#include "survey/TLsbReleaseQuery.h"
#include "survey/TSystemSurveyGraphicsAdapter.h"
#include "survey/TSystemSurveyMonitor.h"
#include "survey/TSystemSurveyOperatingSystem.h"
#include "survey/TSystemSurveyProcessor.h"

#include <QString>
#include <QtGlobal>

#include <vector>

namespace systemsurvey {

/// Collects the raw survey values from the running Linux system. Each value has its own virtual
/// operation so that a platform (or a test) can replace it. Nothing fails: a missing source gives
/// empty text, 0 or a fixed "unknown" text. Runs on the GUI thread; operatingSystem() blocks while
/// the release program runs.
class TSystemSurveyValueRetriever
{
public:
    static const QString DefaultCpuInfoPath;

    TSystemSurveyValueRetriever();
    /// Reads the processor table from cpuInfoPath and asks releaseQuery for the distribution.
    TSystemSurveyValueRetriever(QString cpuInfoPath, TLsbReleaseQuery releaseQuery);
    virtual ~TSystemSurveyValueRetriever();
    TSystemSurveyValueRetriever(const TSystemSurveyValueRetriever&) = delete;
    TSystemSurveyValueRetriever& operator=(const TSystemSurveyValueRetriever&) = delete;

    /// The screens of the GUI application in screen order; empty without a GUI application.
    virtual std::vector<TSystemSurveyMonitor> monitors();
    virtual TSystemSurveyProcessor processor();
    virtual TSystemSurveyOperatingSystem operatingSystem();
    /// Physical memory in bytes, 0 when unknown.
    virtual qint64 mainMemorySize();
    virtual void processorCounts(quint64& numaNodeCount, quint64& physicalProcessorCount, quint64& coreCount,
                                 quint64& logicalProcessorCount);
    /// The highest processor clock in MHz, 0 when unknown.
    virtual double clockSpeed();
    /// Adapters are not enumerated on Linux: one "not implemented" record.
    virtual std::vector<TSystemSurveyGraphicsAdapter> graphicsAdapters();

    /// A refresh rate in whole Hz, fraction dropped; 0 for rates that are not positive and finite.
    static quint64 truncatedRefreshRate(qreal refreshRate);

private:
    /// The processor table's text, empty when it cannot be read.
    QByteArray readCpuInfo() const;

    QString m_cpuInfoPath;
    TLsbReleaseQuery m_releaseQuery;
};

} // namespace systemsurvey
