#include "TZpaqOutputBuffer.h"

#include "TZpaqFormatError.h"

#include <cstring>

namespace shared {

TZpaqOutputBuffer::TZpaqOutputBuffer(unsigned char* data, std::size_t capacity) : m_data(data), m_capacity(capacity) {}

void TZpaqOutputBuffer::put(int byte)
{
    if (m_size >= m_capacity)
        throw TZpaqFormatError("output exceeds the capacity");
    m_data[m_size++] = static_cast<unsigned char>(byte);
}

void TZpaqOutputBuffer::write(const unsigned char* bytes, std::size_t size)
{
    if (size > m_capacity - m_size)
        throw TZpaqFormatError("output exceeds the capacity");
    std::memcpy(m_data + m_size, bytes, size);
    m_size += size;
}

void TZpaqOutputBuffer::commit(unsigned char* end)
{
    m_size = static_cast<std::size_t>(end - m_data);
}

} // namespace shared
