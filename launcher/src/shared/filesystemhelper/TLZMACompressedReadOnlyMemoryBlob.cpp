#include "TLZMACompressedReadOnlyMemoryBlob.h"

#include "compression/TContainerDecoder.h"

namespace shared {

QByteArray TLZMACompressedReadOnlyMemoryBlob::data() const
{
    const QByteArray raw = TReadOnlyMemoryBlob::data();
    QByteArray decoded;
    if (TContainerDecoder::decode(raw, decoded) == TContainerDecoder::EResult::Failed)
        return raw;
    return decoded;
}

} // namespace shared
