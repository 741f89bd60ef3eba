#include "TZpaqByteReader.h"

#include "TZpaqFormatError.h"

#include <cstring>

namespace shared {

TZpaqByteReader::TZpaqByteReader(const unsigned char* data, std::size_t size) : m_data(data), m_size(size) {}

int TZpaqByteReader::get()
{
    if (m_position >= m_size)
        return -1;
    return m_data[m_position++];
}

int TZpaqByteReader::require()
{
    if (m_position >= m_size)
        throw TZpaqFormatError("unexpected end of input");
    return m_data[m_position++];
}

std::uint32_t TZpaqByteReader::requireBigEndian32()
{
    if (m_size - m_position < 4)
        throw TZpaqFormatError("unexpected end of input");
    const unsigned char* p = m_data + m_position;
    m_position += 4;
    return std::uint32_t(p[0]) << 24 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[2]) << 8 | p[3];
}

void TZpaqByteReader::skipString()
{
    const void* end = std::memchr(m_data + m_position, 0, m_size - m_position);
    if (end == nullptr)
        throw TZpaqFormatError("unterminated string");
    m_position = std::size_t(static_cast<const unsigned char*>(end) - m_data) + 1;
}

void TZpaqByteReader::seek(std::size_t position)
{
    m_position = position < m_size ? position : m_size;
}

} // namespace shared
