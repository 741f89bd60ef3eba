#pragma once

#include "network/QNetworkAccessManagerWrapper.h"

#include <QNetworkAccessManager>

#include <memory>

namespace orvan::launcher {

/// The network access of one package installation: requests as the pool builds them, with
/// the network layer allowed to receive a body of known length of up to MaximumBodyInPlace bytes
/// straight into one buffer of its final size, instead of in pieces that are copied together.
/// Chunks are 4 to 16 MiB, so this saves a copy and many allocations per chunk.
class TPackageNetworkAccess : public shared::QNetworkAccessManagerWrapper
{
    Q_OBJECT

public:
    static constexpr int MaximumBodyInPlace = 64 * 1024 * 1024;

    explicit TPackageNetworkAccess(std::shared_ptr<QNetworkAccessManager> Manager);

    shared::QNetworkReplyWrapper* get(const QNetworkRequest& Request) override;
};

} // namespace orvan::launcher
