#include "TChunkDeltaDecoder.h"

#include "TChunkDeltaError.h"
#include "TChunkDeltaFormat.h"

#include <zstd.h>

#include <memory>

namespace shared {

namespace {

struct TDctxDeleter
{
    void operator()(ZSTD_DCtx* context) const { ZSTD_freeDCtx(context); }
};

void check(size_t result, const char* what)
{
    if (ZSTD_isError(result))
        throw TChunkDeltaError(
            QStringLiteral("%1: %2").arg(QLatin1String(what), QLatin1String(ZSTD_getErrorName(result))));
}

} // namespace

QByteArray TChunkDeltaDecoder::decode(const QByteArray& delta, const QByteArray& base, quint64 chunkSize)
{
    const auto baseSize = static_cast<quint64>(base.size());
    if (chunkSize == 0 || chunkSize > TChunkDeltaFormat::MaxChunkBytes || baseSize > TChunkDeltaFormat::MaxBaseBytes)
        throw TChunkDeltaError(QStringLiteral("chunk or base beyond the delta limits"));
    const unsigned long long declared = ZSTD_getFrameContentSize(delta.constData(), static_cast<size_t>(delta.size()));
    if (declared == ZSTD_CONTENTSIZE_ERROR || declared == ZSTD_CONTENTSIZE_UNKNOWN)
        throw TChunkDeltaError(QStringLiteral("not a delta frame"));
    if (declared != chunkSize)
        throw TChunkDeltaError(QStringLiteral("the delta declares another chunk size"));
    const int windowLog = TChunkDeltaFormat::windowLogFor(baseSize + chunkSize);

    const std::unique_ptr<ZSTD_DCtx, TDctxDeleter> context(ZSTD_createDCtx());
    if (!context)
        throw TChunkDeltaError(QStringLiteral("out of memory"));
    check(ZSTD_DCtx_setParameter(context.get(), ZSTD_d_windowLogMax, windowLog), "window");
    check(ZSTD_DCtx_refPrefix(context.get(), base.constData(), static_cast<size_t>(base.size())), "base");
    QByteArray chunk(static_cast<int>(chunkSize), Qt::Uninitialized);
    ZSTD_inBuffer input{delta.constData(), static_cast<size_t>(delta.size()), 0};
    ZSTD_outBuffer output{chunk.data(), static_cast<size_t>(chunk.size()), 0};
    // Streaming refuses a frame whose window exceeds windowLog; the whole chunk is the output buffer.
    const size_t remaining = ZSTD_decompressStream(context.get(), &output, &input);
    check(remaining, "decoding");
    if (remaining != 0 || output.pos != chunkSize || input.pos != input.size)
        throw TChunkDeltaError(QStringLiteral("the delta is truncated or carries trailing data"));
    return chunk;
}

} // namespace shared
