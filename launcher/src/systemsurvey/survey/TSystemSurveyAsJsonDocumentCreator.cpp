#include "TSystemSurveyAsJsonDocumentCreator.h"

namespace systemsurvey {

TSystemSurveyAsJsonDocumentCreator::TSystemSurveyAsJsonDocumentCreator(
    std::shared_ptr<TSystemSurveyCreator> creator, std::shared_ptr<TSystemSurveyToJsonConverter> converter)
    : m_creator(std::move(creator)), m_converter(std::move(converter))
{}

TSystemSurveyAsJsonDocumentCreator::~TSystemSurveyAsJsonDocumentCreator() = default;

QJsonDocument TSystemSurveyAsJsonDocumentCreator::create()
{
    if (!m_creator || !m_converter) {
        return {};
    }
    return m_converter->convert(m_creator->create());
}

} // namespace systemsurvey
