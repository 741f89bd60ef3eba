#pragma once

#include <cstddef>

namespace shared {

/// The caller's output area: bytes are appended until the capacity is reached, after which
/// any further byte is a format error (the stream promised less than it produces).
class TZpaqOutputBuffer
{
public:
    TZpaqOutputBuffer(unsigned char* data, std::size_t capacity);

    void put(int byte);
    /// Appends size bytes at once.
    void write(const unsigned char* bytes, std::size_t size);

    /// Where the next byte goes, and how many bytes fit: for writers that fill the buffer
    /// directly and then report how far they got with commit().
    unsigned char* writePosition() const { return m_data + m_size; }
    std::size_t available() const { return m_capacity - m_size; }
    void commit(unsigned char* end);

    std::size_t size() const { return m_size; }
    std::size_t capacity() const { return m_capacity; }
    const unsigned char* data() const { return m_data; }

private:
    unsigned char* m_data;
    std::size_t m_capacity;
    std::size_t m_size = 0;
};

} // namespace shared
