#include "TChunkDeltaDecoder.h"

#include "TChunkDeltaError.h"
#include "TChunkDeltaFormat.h"

#include "compression/ZstdContexts.h"

#include <zstd.h>

#include <algorithm>
#include <memory>

namespace shared {

namespace {

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
    const TChunkDeltaFormat::THeader header = TChunkDeltaFormat::readHeader(delta, baseSize, chunkSize);
    const quint64 middleSize = chunkSize - header.head.length - header.tail.length;
    const char* const frame = delta.constData() + TChunkDeltaFormat::HeaderBytes;
    const auto frameSize = static_cast<size_t>(delta.size() - TChunkDeltaFormat::HeaderBytes);
    const unsigned long long declared = ZSTD_getFrameContentSize(frame, frameSize);
    if (declared == ZSTD_CONTENTSIZE_ERROR || declared == ZSTD_CONTENTSIZE_UNKNOWN)
        throw TChunkDeltaError(QStringLiteral("not a delta frame"));
    if (declared != middleSize)
        throw TChunkDeltaError(QStringLiteral("the delta declares another chunk size"));
    const int windowLog = TChunkDeltaFormat::windowLogFor(baseSize + middleSize);

    const TZstdDecompressionContext context(ZSTD_createDCtx());
    if (!context)
        throw TChunkDeltaError(QStringLiteral("out of memory"));
    check(ZSTD_DCtx_setParameter(context.get(), ZSTD_d_windowLogMax, windowLog), "window");
    check(ZSTD_DCtx_refPrefix(context.get(), base.constData(), static_cast<size_t>(base.size())), "base");
    QByteArray chunk(static_cast<int>(chunkSize), Qt::Uninitialized);
    ZSTD_inBuffer input{frame, frameSize, 0};
    ZSTD_outBuffer output{chunk.data() + header.head.length, static_cast<size_t>(middleSize), 0};
    // Streaming refuses a frame whose window exceeds windowLog; the middle is the output buffer.
    const size_t remaining = ZSTD_decompressStream(context.get(), &output, &input);
    check(remaining, "decoding");
    if (remaining != 0 || output.pos != middleSize || input.pos != input.size)
        throw TChunkDeltaError(QStringLiteral("the delta is truncated or carries trailing data"));
    std::copy_n(base.constData() + header.head.baseOffset, header.head.length, chunk.data());
    std::copy_n(base.constData() + header.tail.baseOffset, header.tail.length,
                chunk.data() + header.head.length + middleSize);
    return chunk;
}

} // namespace shared
