#include "TPackageNetworkAccess.h"

#include "network/TReplyGuard.h"

#include <algorithm>
#include <utility>

namespace orvan::launcher {

TPackageNetworkAccess::TPackageNetworkAccess(std::shared_ptr<QNetworkAccessManager> manager)
    : shared::QNetworkAccessManagerWrapper(std::move(manager))
{
    setMinimumThroughput(ChunkMinimumBytesPerWindow, ChunkThroughputWindowMs);
}

shared::QNetworkReplyWrapper* TPackageNetworkAccess::get(const QNetworkRequest& request)
{
    QNetworkRequest limited(request);
    // The buffer is allocated as soon as the length is declared: never larger than the response may be.
    // A request that names its own in-place size (0 for a body read in portions) keeps it.
    if (!limited.attribute(QNetworkRequest::MaximumDownloadBufferSizeAttribute).isValid()) {
        const qint64 cap = limited.attribute(shared::TReplyGuard::MaxBytesAttribute, qint64(-1)).toLongLong();
        const qint64 inPlace = cap < 0 ? MaximumBodyInPlace : std::min<qint64>(cap, MaximumBodyInPlace);
        limited.setAttribute(QNetworkRequest::MaximumDownloadBufferSizeAttribute, static_cast<int>(inPlace));
    }
    return shared::QNetworkAccessManagerWrapper::get(limited);
}

} // namespace orvan::launcher
