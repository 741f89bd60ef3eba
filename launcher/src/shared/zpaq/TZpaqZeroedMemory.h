#pragma once

#include <cstddef>

namespace shared {

/// One zero-filled heap block aligned to a cache line. Large blocks are mapped straight from the
/// kernel: their pages are zeroed lazily, so a table declared big but used sparsely costs little,
/// and they are backed by huge pages where the system allows, which keeps random probes into
/// model tables from missing the TLB on every access.
class TZpaqZeroedMemory
{
public:
    TZpaqZeroedMemory() = default;
    /// Throws TZpaqFormatError when the allocation fails.
    explicit TZpaqZeroedMemory(std::size_t bytes);
    ~TZpaqZeroedMemory();
    TZpaqZeroedMemory(const TZpaqZeroedMemory&) = delete;
    TZpaqZeroedMemory& operator=(const TZpaqZeroedMemory&) = delete;
    TZpaqZeroedMemory(TZpaqZeroedMemory&& other) noexcept;
    TZpaqZeroedMemory& operator=(TZpaqZeroedMemory&& other) noexcept;

    template <typename T> T* as() const { return static_cast<T*>(m_data); }
    std::size_t size() const { return m_size; }

private:
    void release() noexcept;

    void* m_block = nullptr;  // as allocated or mapped
    std::size_t m_mapped = 0; // length of the mapping, 0 when m_block came from the heap
    void* m_data = nullptr;   // aligned start inside m_block
    std::size_t m_size = 0;
};

} // namespace shared
