#pragma once

#include "TReadOnlyMemoryBlob.h"

namespace shared {

/// A file kept as a compressed container (".lzma" files); data() returns the decoded bytes, or the
/// raw file content when it cannot be decoded.
class TLZMACompressedReadOnlyMemoryBlob : public TReadOnlyMemoryBlob
{
public:
    using TReadOnlyMemoryBlob::TReadOnlyMemoryBlob;

    QByteArray data() const override;
};

} // namespace shared
