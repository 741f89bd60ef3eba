#include "TContentDefinedChunker.h"

#include "chunkingGearTable.h"

#include <algorithm>

namespace shared {

namespace {

// One step per byte: a table lookup, a shift, an add and the cut test. The step's latency (shift
// then add, two cycles) bounds the speed, so the loop is unrolled to keep the loads and the tests
// off that chain; the test branch is almost never taken and costs next to nothing when predicted.
#define QUENMAR_GEAR_STEP(k)                                                                                           \
    hash = (hash >> 1) + table[data[position + (k)]];                                                                  \
    if (__builtin_expect((hash & TContentDefinedChunker::CutMask) == 0, 0)) {                                          \
        *hashInOut = hash;                                                                                             \
        return position + (k) + 1;                                                                                     \
    }

/// Rolls the hash over data[begin, end); returns the position after the first byte that hits the
/// cut test, or NoCut when none does. The hash is carried in and out through hashInOut.
std::size_t findCut(const unsigned char* data, std::size_t begin, std::size_t end, std::uint32_t* hashInOut)
{
    const std::uint32_t* table = chunkingGearTable.data();
    std::uint32_t hash = *hashInOut;
    std::size_t position = begin;
    for (; position + 8 <= end; position += 8) {
        QUENMAR_GEAR_STEP(0)
        QUENMAR_GEAR_STEP(1)
        QUENMAR_GEAR_STEP(2)
        QUENMAR_GEAR_STEP(3)
        QUENMAR_GEAR_STEP(4)
        QUENMAR_GEAR_STEP(5)
        QUENMAR_GEAR_STEP(6)
        QUENMAR_GEAR_STEP(7)
    }
    for (; position < end; ++position) {
        QUENMAR_GEAR_STEP(0)
    }
    *hashInOut = hash;
    return TContentDefinedChunker::NoCut;
}

#undef QUENMAR_GEAR_STEP

} // namespace

std::size_t TContentDefinedChunker::feed(const unsigned char* data, std::size_t size)
{
    std::size_t position = 0;
    if (m_pendingSize < MinimumChunkSize) {
        position = static_cast<std::size_t>(std::min<std::uint64_t>(size, MinimumChunkSize - m_pendingSize));
        m_pendingSize += position;
        if (position == size)
            return NoCut;
    }

    const std::size_t scanEnd =
        position + static_cast<std::size_t>(std::min<std::uint64_t>(size - position, MaximumChunkSize - m_pendingSize));
    std::uint32_t hash = m_hash;
    const std::size_t hit = findCut(data, position, scanEnd, &hash);
    const std::size_t cut = hit != NoCut ? hit : scanEnd;
    m_pendingSize += cut - position;
    if (hit != NoCut || m_pendingSize == MaximumChunkSize) {
        reset();
        return cut;
    }
    m_hash = hash;
    return NoCut;
}

std::uint64_t TContentDefinedChunker::finish()
{
    const std::uint64_t last = m_pendingSize;
    reset();
    return last;
}

void TContentDefinedChunker::reset()
{
    m_pendingSize = 0;
    m_hash = 0;
}

} // namespace shared
