#pragma once

#include <zstd.h>

#include <memory>

namespace shared {

struct TZstdCompressionContextDeleter
{
    void operator()(ZSTD_CCtx* context) const { ZSTD_freeCCtx(context); }
};

struct TZstdDecompressionContextDeleter
{
    void operator()(ZSTD_DCtx* context) const { ZSTD_freeDCtx(context); }
};

/// A zstd compression context that is freed with its owner.
using TZstdCompressionContext = std::unique_ptr<ZSTD_CCtx, TZstdCompressionContextDeleter>;
/// A zstd decompression context that is freed with its owner.
using TZstdDecompressionContext = std::unique_ptr<ZSTD_DCtx, TZstdDecompressionContextDeleter>;

} // namespace shared
