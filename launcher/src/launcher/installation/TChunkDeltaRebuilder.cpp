#include "TChunkDeltaRebuilder.h"

#include "TChunkDeltaSource.h"
#include "TChunkToDownload.h"
#include "TDeltaBaseStore.h"

#include "delta/TChunkDeltaDecoder.h"
#include "delta/TChunkDeltaError.h"
#include "hash/TSha256.h"

#include <exception>

namespace orvan::launcher {

std::optional<QByteArray> TChunkDeltaRebuilder::rebuild(const TChunkToDownload& job, const QByteArray& delta)
{
    TChunkDeltaSource& source = *job.delta;
    try {
        if (static_cast<quint64>(delta.size()) != source.delta.size ||
            shared::TSha256::hash(delta) != source.delta.sha256)
            throw shared::TChunkDeltaError(QStringLiteral("the delta object is not the one listed"));
        const QByteArray base = source.baseStore->read(source.delta.from);
        QByteArray chunk = shared::TChunkDeltaDecoder::decode(delta, base, source.wholeChunk.unpackedSize);
        if (shared::TSha256::hash(chunk) != source.wholeChunk.unpackedHash)
            throw shared::TChunkDeltaError(QStringLiteral("the rebuilt chunk has another hash"));
        return chunk;
    } catch (const std::exception& error) {
        source.failure = QString::fromUtf8(error.what());
    }
    return std::nullopt;
}

} // namespace orvan::launcher
