#include "TSystemSurveyUploader.h"

namespace systemsurvey {

TSystemSurveyUploader::TSystemSurveyUploader(std::shared_ptr<shared::TJsonDocumentHttpPostSender> Sender, QUrl Url,
                                             std::shared_ptr<TSystemSurveyAsJsonDocumentCreator> DocumentCreator)
    : TJsonDocumentUploaderBase(std::move(Sender)), m_url(std::move(Url)), m_documentCreator(std::move(DocumentCreator))
{}

TSystemSurveyUploader::~TSystemSurveyUploader() = default;

void TSystemSurveyUploader::uploadSurvey()
{
    if (!m_documentCreator) {
        onFinished(QNetworkReply::UnknownNetworkError, QStringLiteral("No survey document to upload"), {});
        return;
    }
    upload(m_url, m_documentCreator->create());
}

} // namespace systemsurvey
