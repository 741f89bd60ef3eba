#include "TPackageNetworkAccess.h"

#include <utility>

namespace orvan::launcher {

TPackageNetworkAccess::TPackageNetworkAccess(std::shared_ptr<QNetworkAccessManager> Manager)
    : shared::QNetworkAccessManagerWrapper(std::move(Manager))
{}

shared::QNetworkReplyWrapper* TPackageNetworkAccess::get(const QNetworkRequest& Request)
{
    QNetworkRequest request(Request);
    request.setAttribute(QNetworkRequest::MaximumDownloadBufferSizeAttribute, MaximumBodyInPlace);
    return shared::QNetworkAccessManagerWrapper::get(request);
}

} // namespace orvan::launcher
