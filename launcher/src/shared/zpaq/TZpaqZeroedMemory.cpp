#include "TZpaqZeroedMemory.h"

#include "TZpaqFormatError.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <utility>

namespace shared {

namespace {

// Hash table slots are probed in groups that must share one cache line.
constexpr std::size_t kCacheLine = 64;
constexpr std::size_t kHugePage = std::size_t(2) << 20;

void* alignUp(void* pointer, std::size_t alignment)
{
    // Pointer arithmetic rather than a cast back from an integer keeps the pointer's provenance.
    const auto misalignment = reinterpret_cast<std::uintptr_t>(pointer) & (alignment - 1);
    return misalignment == 0 ? pointer : static_cast<char*>(pointer) + (alignment - misalignment);
}

} // namespace

TZpaqZeroedMemory::TZpaqZeroedMemory(std::size_t bytes) : m_size(bytes)
{
    if (bytes > SIZE_MAX - kHugePage)
        throw TZpaqFormatError("out of memory");
    if (bytes >= kHugePage) {
        const std::size_t length = bytes + kHugePage;
        void* mapping = mmap(nullptr, length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mapping == MAP_FAILED)
            throw TZpaqFormatError("out of memory");
        m_block = mapping;
        m_mapped = length;
        m_data = alignUp(mapping, kHugePage);
#ifdef MADV_HUGEPAGE
        madvise(m_data, bytes, MADV_HUGEPAGE); // a hint: failure only costs speed
#endif
        return;
    }
    m_block = std::calloc(bytes + kCacheLine, 1);
    if (m_block == nullptr)
        throw TZpaqFormatError("out of memory");
    m_data = alignUp(m_block, kCacheLine);
}

TZpaqZeroedMemory::~TZpaqZeroedMemory()
{
    release();
}

void TZpaqZeroedMemory::release() noexcept
{
    if (m_mapped != 0)
        munmap(m_block, m_mapped);
    else
        std::free(m_block);
    m_block = nullptr;
    m_mapped = 0;
    m_data = nullptr;
    m_size = 0;
}

TZpaqZeroedMemory::TZpaqZeroedMemory(TZpaqZeroedMemory&& other) noexcept
    : m_block(std::exchange(other.m_block, nullptr)), m_mapped(std::exchange(other.m_mapped, 0)),
      m_data(std::exchange(other.m_data, nullptr)), m_size(std::exchange(other.m_size, 0))
{}

TZpaqZeroedMemory& TZpaqZeroedMemory::operator=(TZpaqZeroedMemory&& other) noexcept
{
    if (this != &other) {
        release();
        m_block = std::exchange(other.m_block, nullptr);
        m_mapped = std::exchange(other.m_mapped, 0);
        m_data = std::exchange(other.m_data, nullptr);
        m_size = std::exchange(other.m_size, 0);
    }
    return *this;
}

} // namespace shared
