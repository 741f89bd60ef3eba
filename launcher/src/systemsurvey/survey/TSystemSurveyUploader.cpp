#include "TSystemSurveyUploader.h"

namespace systemsurvey {

TSystemSurveyUploader::TSystemSurveyUploader(std::shared_ptr<shared::TJsonDocumentHttpPostSender> Sender, QUrl Url,
                                             std::shared_ptr<TSystemSurveyAsJsonDocumentCreator> DocumentCreator)
    : TJsonDocumentUploaderBase(std::move(Sender)), m_url(std::move(Url)), m_documentCreator(std::move(DocumentCreator))
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
