#pragma once

#include "jsonupload/TJsonDocumentUploaderBase.h"
#include "survey/TSystemSurveyAsJsonDocumentCreator.h"

#include <QUrl>

#include <memory>

namespace systemsurvey {

/// Builds the survey document and posts it to the survey endpoint. The endpoint's verdict arrives
/// through finished() and stays readable through errorCode() and errorMessage().
class TSystemSurveyUploader : public shared::TJsonDocumentUploaderBase
{
    Q_OBJECT

public:
    TSystemSurveyUploader(std::shared_ptr<shared::TJsonDocumentHttpPostSender> sender, QUrl url,
                          std::shared_ptr<TSystemSurveyAsJsonDocumentCreator> documentCreator);
    ~TSystemSurveyUploader() override;

    /// Builds the document now (blocking while the system is queried) and uploads it to url().
    /// Without a document creator nothing is sent and finished() reports a failure.
    virtual void uploadSurvey();

    /// True from uploadSurvey() until finished() reported the answer or failure.
    bool isUploading() const { return m_uploading; }

    QUrl url() const { return m_url; }
    std::shared_ptr<TSystemSurveyAsJsonDocumentCreator> documentCreator() const { return m_documentCreator; }

private:
    QUrl m_url;
    std::shared_ptr<TSystemSurveyAsJsonDocumentCreator> m_documentCreator;
    bool m_uploading = false;
};

} // namespace systemsurvey
