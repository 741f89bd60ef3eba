#include "TSystemSurveyUploader.h"

namespace systemsurvey {

TSystemSurveyUploader::TSystemSurveyUploader(std::shared_ptr<shared::TJsonDocumentHttpPostSender> sender, QUrl url,
                                             std::shared_ptr<TSystemSurveyAsJsonDocumentCreator> documentCreator)
    : TJsonDocumentUploaderBase(std::move(sender)), m_url(std::move(url)), m_documentCreator(std::move(documentCreator))
{
    connect(this, &TJsonDocumentUploaderBase::finished, this, [this] { m_uploading = false; });
}

TSystemSurveyUploader::~TSystemSurveyUploader() = default;

void TSystemSurveyUploader::uploadSurvey()
{
    if (!m_documentCreator) {
        onFinished(QNetworkReply::UnknownNetworkError, QStringLiteral("No survey document to upload"), {});
        return;
    }
    const QJsonDocument document = m_documentCreator->create();
    m_uploading = true;
    upload(m_url, document);
}

} // namespace systemsurvey
