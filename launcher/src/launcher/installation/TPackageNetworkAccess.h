#pragma once

#include "network/QNetworkAccessManagerWrapper.h"

#include <QNetworkAccessManager>

#include <memory>

namespace orvan::launcher {

/// The network access of one package installation: requests as the pool builds them, with
/// the network layer allowed to receive a body of known length of up to MaximumBodyInPlace bytes
/// straight into one buffer of its final size, instead of in pieces that are copied together.
/// Chunks are 4 to 16 MiB, so this saves a copy and many allocations per chunk.
/// A chunk transfer that brings less than ChunkMinimumBytesPerWindow in any ChunkThroughputWindowMs
/// fails, so that a server trickling bytes cannot hold a slot for ever; the downloader retries it.
class TPackageNetworkAccess : public shared::QNetworkAccessManagerWrapper
{
    Q_OBJECT

public:
    static constexpr int MaximumBodyInPlace = 64 * 1024 * 1024;
    /// About 2 KiB/s: far below any connection that can install a game, far above a stalled one.
    static constexpr qint64 ChunkMinimumBytesPerWindow = 64 * 1024;
    static constexpr int ChunkThroughputWindowMs = 30000;

    explicit TPackageNetworkAccess(std::shared_ptr<QNetworkAccessManager> manager);

    shared::QNetworkReplyWrapper* get(const QNetworkRequest& request) override;
};

} // namespace orvan::launcher
