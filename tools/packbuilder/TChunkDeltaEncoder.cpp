#include "TChunkDeltaEncoder.h"

#include "TPackBuildError.h"

#include "delta/TChunkDeltaFormat.h"

#include <zstd.h>

#include <memory>

namespace packbuilder {

namespace {

struct TCctxDeleter
{
    void operator()(ZSTD_CCtx* context) const { ZSTD_freeCCtx(context); }
};

void check(size_t result)
{
    if (ZSTD_isError(result))
        throw TPackBuildError(
            QStringLiteral("cannot compute a chunk delta: %1").arg(QLatin1String(ZSTD_getErrorName(result))));
}

} // namespace

QByteArray TChunkDeltaEncoder::encode(const QByteArray& base, const QByteArray& chunk, int level)
{
    using shared::TChunkDeltaFormat;
    const auto baseSize = static_cast<quint64>(base.size());
    const auto chunkSize = static_cast<quint64>(chunk.size());
    if (baseSize > TChunkDeltaFormat::MaxBaseBytes || chunkSize == 0 || chunkSize > TChunkDeltaFormat::MaxChunkBytes)
        throw TPackBuildError(QStringLiteral("chunk or base beyond the delta limits"));
    const std::unique_ptr<ZSTD_CCtx, TCctxDeleter> context(ZSTD_createCCtx());
    if (!context)
        throw TPackBuildError(QStringLiteral("cannot compute a chunk delta: out of memory"));
    check(ZSTD_CCtx_setParameter(context.get(), ZSTD_c_compressionLevel, level));
    check(ZSTD_CCtx_setParameter(context.get(), ZSTD_c_enableLongDistanceMatching, 1));
    check(
        ZSTD_CCtx_setParameter(context.get(), ZSTD_c_windowLog, TChunkDeltaFormat::windowLogFor(baseSize + chunkSize)));
    check(ZSTD_CCtx_setParameter(context.get(), ZSTD_c_contentSizeFlag, 1));
    check(ZSTD_CCtx_refPrefix(context.get(), base.constData(), static_cast<size_t>(base.size())));
    QByteArray delta(static_cast<int>(ZSTD_compressBound(static_cast<size_t>(chunk.size()))), Qt::Uninitialized);
    const size_t written = ZSTD_compress2(context.get(), delta.data(), static_cast<size_t>(delta.size()),
                                          chunk.constData(), static_cast<size_t>(chunk.size()));
    check(written);
    delta.resize(static_cast<int>(written));
    return delta;
}

} // namespace packbuilder
