#include "TSystemSurveyCreator.h"

#include <algorithm>

namespace systemsurvey {

TSystemSurveyCreator::TSystemSurveyCreator(std::shared_ptr<TSystemSurveyValueRetriever> retriever)
    : m_retriever(std::move(retriever))
{}

TSystemSurveyCreator::~TSystemSurveyCreator() = default;

TSystemSurvey TSystemSurveyCreator::create()
{
    TSystemSurvey survey;
    if (!m_retriever) {
        return survey;
    }
    survey.monitors = m_retriever->monitors();
    survey.monitors.erase(
        std::remove_if(survey.monitors.begin(), survey.monitors.end(),
                       [](const TSystemSurveyMonitor& monitor) { return monitor.width == 0 || monitor.height == 0; }),
        survey.monitors.end());
    survey.operatingSystem = m_retriever->operatingSystem();
    survey.mainMemorySize = m_retriever->mainMemorySize();
    survey.processor = m_retriever->processor();
    survey.graphicsAdapters = m_retriever->graphicsAdapters();
    return survey;
}

} // namespace systemsurvey
