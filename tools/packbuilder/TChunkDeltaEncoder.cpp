#include "TChunkDeltaEncoder.h"

#include "TPackBuildError.h"

#include "compression/ZstdContexts.h"
#include "delta/TChunkDeltaFormat.h"

#include <zstd.h>

#include <algorithm>
#include <memory>

namespace packbuilder {

namespace {

void check(size_t result)
{
    if (ZSTD_isError(result))
        throw TPackBuildError(
            QStringLiteral("cannot compute a chunk delta: %1").arg(QLatin1String(ZSTD_getErrorName(result))));
}

using shared::TChunkDeltaFormat;

/// Bytes compared to find where a chunk's end lies in the base, and how many places are tried.
constexpr int ProbeBytes = 64;
constexpr int MaxCandidates = 16;

/// Of the first places where Probe occurs in Base, the one that Extend (a place to the copy it
/// allows there) makes the longest copy.
template <typename TExtend>
TChunkDeltaFormat::TCopy longestCopy(const QByteArray& base, const QByteArray& probe, TExtend extend)
{
    TChunkDeltaFormat::TCopy best;
    int from = 0;
    for (int tried = 0; tried < MaxCandidates; ++tried) {
        const int at = base.indexOf(probe, from);
        if (at < 0)
            break;
        const TChunkDeltaFormat::TCopy copy = extend(at);
        if (copy.length > best.length)
            best = copy;
        from = at + 1;
    }
    return best;
}

/// The longest copy from Base that gives Chunk's first bytes.
TChunkDeltaFormat::TCopy frontCopy(const QByteArray& base, const QByteArray& chunk)
{
    if (chunk.size() < ProbeBytes)
        return {};
    const QByteArray probe = QByteArray::fromRawData(chunk.constData(), ProbeBytes);
    return longestCopy(base, probe, [&](int at) {
        const int limit = std::min(base.size() - at, chunk.size());
        int length = ProbeBytes;
        while (length < limit && base.at(at + length) == chunk.at(length))
            ++length;
        return TChunkDeltaFormat::TCopy{static_cast<quint32>(at), static_cast<quint32>(length)};
    });
}

/// The longest copy from Base that gives Chunk's last bytes, leaving its first Taken bytes alone.
TChunkDeltaFormat::TCopy backCopy(const QByteArray& base, const QByteArray& chunk, int taken)
{
    if (chunk.size() - taken < ProbeBytes)
        return {};
    const QByteArray probe = QByteArray::fromRawData(chunk.constData() + chunk.size() - ProbeBytes, ProbeBytes);
    return longestCopy(base, probe, [&](int at) {
        const int end = at + ProbeBytes;
        const int limit = std::min(end, chunk.size() - taken);
        int length = ProbeBytes;
        while (length < limit && base.at(end - 1 - length) == chunk.at(chunk.size() - 1 - length))
            ++length;
        return TChunkDeltaFormat::TCopy{static_cast<quint32>(end - length), static_cast<quint32>(length)};
    });
}

QByteArray compressMiddle(const QByteArray& base, const QByteArray& middle, int level)
{
    const shared::TZstdCompressionContext context(ZSTD_createCCtx());
    if (!context)
        throw TPackBuildError(QStringLiteral("cannot compute a chunk delta: out of memory"));
    const auto window = static_cast<quint64>(base.size()) + static_cast<quint64>(middle.size());
    check(ZSTD_CCtx_setParameter(context.get(), ZSTD_c_compressionLevel, level));
    check(ZSTD_CCtx_setParameter(context.get(), ZSTD_c_enableLongDistanceMatching, 1));
    check(ZSTD_CCtx_setParameter(context.get(), ZSTD_c_windowLog, TChunkDeltaFormat::windowLogFor(window)));
    check(ZSTD_CCtx_setParameter(context.get(), ZSTD_c_contentSizeFlag, 1));
    check(ZSTD_CCtx_refPrefix(context.get(), base.constData(), static_cast<size_t>(base.size())));
    QByteArray frame(static_cast<int>(ZSTD_compressBound(static_cast<size_t>(middle.size()))), Qt::Uninitialized);
    const size_t written = ZSTD_compress2(context.get(), frame.data(), static_cast<size_t>(frame.size()),
                                          middle.constData(), static_cast<size_t>(middle.size()));
    check(written);
    frame.resize(static_cast<int>(written));
    return frame;
}

} // namespace

QByteArray TChunkDeltaEncoder::encode(const QByteArray& base, const QByteArray& chunk, int level)
{
    const auto baseSize = static_cast<quint64>(base.size());
    const auto chunkSize = static_cast<quint64>(chunk.size());
    if (baseSize > TChunkDeltaFormat::MaxBaseBytes || chunkSize == 0 || chunkSize > TChunkDeltaFormat::MaxChunkBytes)
        throw TPackBuildError(QStringLiteral("chunk or base beyond the delta limits"));
    TChunkDeltaFormat::THeader header;
    header.head = frontCopy(base, chunk);
    header.tail = backCopy(base, chunk, static_cast<int>(header.head.length));
    const int middleSize = chunk.size() - static_cast<int>(header.head.length + header.tail.length);
    const QByteArray middle = QByteArray::fromRawData(chunk.constData() + header.head.length, middleSize);
    return TChunkDeltaFormat::writeHeader(header) + compressMiddle(base, middle, level);
}

} // namespace packbuilder
