#include "TZpaqStreamDecoder.h"

#include "TZpaqBlockDecoder.h"
#include "TZpaqByteReader.h"
#include "TZpaqFormatError.h"
#include "TZpaqOutputBuffer.h"

#include <cstring>

namespace shared {

namespace {

constexpr unsigned char kLocatorTag[13] = {0x37, 0x6B, 0x53, 0x74, 0xA0, 0x31, 0x83,
                                           0xD3, 0x8C, 0xB2, 0x28, 0xB0, 0xD3};
constexpr std::size_t kNotFound = static_cast<std::size_t>(-1);

// Position of the next block marker: right here, or behind the next locator tag.
std::size_t findBlock(const unsigned char* data, std::size_t size, std::size_t from)
{
    if (TZpaqBlockDecoder::isBlockStart(data, size, from))
        return from;
    std::size_t position = from;
    while (position < size) {
        const void* hit = std::memchr(data + position, kLocatorTag[0], size - position);
        if (hit == nullptr)
            return kNotFound;
        position = static_cast<std::size_t>(static_cast<const unsigned char*>(hit) - data);
        if (size - position >= sizeof(kLocatorTag) &&
            std::memcmp(data + position, kLocatorTag, sizeof(kLocatorTag)) == 0 &&
            TZpaqBlockDecoder::isBlockStart(data, size, position + sizeof(kLocatorTag)))
            return position + sizeof(kLocatorTag);
        ++position;
    }
    return kNotFound;
}

} // namespace

TZpaqStreamDecoder::TZpaqStreamDecoder(const TZpaqLimits& limits) : m_limits(limits) {}

std::size_t TZpaqStreamDecoder::decode(const unsigned char* input, std::size_t inputSize, unsigned char* output,
                                       std::size_t capacity) const
{
    TZpaqByteReader reader(input, inputSize);
    TZpaqOutputBuffer out(output, capacity);
    std::size_t blocks = 0;
    for (;;) {
        const std::size_t start = findBlock(input, inputSize, reader.position());
        if (start == kNotFound)
            break;
        reader.seek(start);
        TZpaqBlockDecoder(reader, out, m_limits).decode();
        ++blocks;
    }
    if (blocks == 0)
        throw TZpaqFormatError("no ZPAQ block found");
    return out.size();
}

} // namespace shared
