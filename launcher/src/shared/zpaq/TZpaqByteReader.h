#pragma once

#include <cstddef>
#include <cstdint>

namespace shared {

/// A cursor over the compressed input that never reads past its end.
class TZpaqByteReader
{
public:
    TZpaqByteReader(const unsigned char* data, std::size_t size);

    /// The next byte, or -1 at the end of the input.
    int get();
    /// The next byte; throws TZpaqFormatError at the end of the input.
    int require();
    /// Four bytes, most significant first; throws when the input ends first.
    std::uint32_t requireBigEndian32();
    /// Skips a zero-terminated string; throws when the input ends first.
    void skipString();

    std::size_t position() const { return m_position; }
    std::size_t size() const { return m_size; }
    const unsigned char* data() const { return m_data; }
    void seek(std::size_t position);

private:
    const unsigned char* m_data;
    std::size_t m_size;
    std::size_t m_position = 0;
};

} // namespace shared
