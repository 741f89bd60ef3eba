#pragma once

#include "survey/TSystemSurveyCreator.h"
#include "survey/TSystemSurveyToJsonConverter.h"

#include <QJsonDocument>

#include <memory>

namespace systemsurvey {

/// Makes the survey document: the creator's survey run through the converter.
class TSystemSurveyAsJsonDocumentCreator
{
public:
    TSystemSurveyAsJsonDocumentCreator(std::shared_ptr<TSystemSurveyCreator> creator,
                                       std::shared_ptr<TSystemSurveyToJsonConverter> converter);
    virtual ~TSystemSurveyAsJsonDocumentCreator();
    TSystemSurveyAsJsonDocumentCreator(const TSystemSurveyAsJsonDocumentCreator&) = delete;
    TSystemSurveyAsJsonDocumentCreator& operator=(const TSystemSurveyAsJsonDocumentCreator&) = delete;

    /// An empty document when the creator or the converter is missing.
    virtual QJsonDocument create();

    std::shared_ptr<TSystemSurveyCreator> creator() const { return m_creator; }
    std::shared_ptr<TSystemSurveyToJsonConverter> converter() const { return m_converter; }

private:
    std::shared_ptr<TSystemSurveyCreator> m_creator;
    std::shared_ptr<TSystemSurveyToJsonConverter> m_converter;
};

} // namespace systemsurvey
