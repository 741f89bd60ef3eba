#pragma once

#include "TZpaqlMachine.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

namespace shared {

class TZpaqMemoryBudget;
class TZpaqOutputBuffer;
struct TZpaqLimits;

/// Undoes a block's transform. The first decoded byte of a block selects pass-through (0) or a
/// PCOMP program (1, then its 16-bit length and code); every later byte goes through the program,
/// which is also run with A = 2^32 - 1 at the end of each segment.
class TZpaqPostProcessor
{
public:
    TZpaqPostProcessor(unsigned hashArrayBits, unsigned memoryArrayBits, TZpaqOutputBuffer& output,
                       const TZpaqLimits& limits, TZpaqMemoryBudget& budget);
    ~TZpaqPostProcessor();

    void write(const unsigned char* bytes, std::size_t count);
    void endOfSegment();

private:
    enum class EState
    {
        ExpectType,
        PassThrough,
        ExpectLengthLow,
        ExpectLengthHigh,
        ReadingProgram,
        Running
    };

    void write(int byte);

    EState m_state = EState::ExpectType;
    unsigned m_hashArrayBits;
    unsigned m_memoryArrayBits;
    TZpaqOutputBuffer& m_output;
    const TZpaqLimits& m_limits;
    TZpaqMemoryBudget& m_budget;
    std::size_t m_reservedBytes;
    std::size_t m_programLength = 0;
    std::vector<unsigned char> m_program;
    std::unique_ptr<TZpaqlMachine> m_machine;
};

} // namespace shared
