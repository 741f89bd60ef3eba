#pragma once

#include "survey/TSystemSurvey.h"
#include "survey/TSystemSurveyValueRetriever.h"

#include <memory>

namespace systemsurvey {

/// Gathers the retriever's values into one survey.
class TSystemSurveyCreator
{
public:
    explicit TSystemSurveyCreator(std::shared_ptr<TSystemSurveyValueRetriever> retriever);
    virtual ~TSystemSurveyCreator();
    TSystemSurveyCreator(const TSystemSurveyCreator&) = delete;
    TSystemSurveyCreator& operator=(const TSystemSurveyCreator&) = delete;

    /// Asks for monitors, operating system, memory, processor and adapters, in that order, and drops
    /// screens of zero width or height. Without a retriever the survey is empty.
    virtual TSystemSurvey create();

    std::shared_ptr<TSystemSurveyValueRetriever> retriever() const { return m_retriever; }

private:
    std::shared_ptr<TSystemSurveyValueRetriever> m_retriever;
};

} // namespace systemsurvey
