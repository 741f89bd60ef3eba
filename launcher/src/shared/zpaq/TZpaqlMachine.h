#pragma once

#include "TZpaqZeroedMemory.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace shared {

class TZpaqMemoryBudget;
class TZpaqOutputBuffer;
struct TZpaqLimits;

/// The ZPAQL virtual machine that runs a block's context program (HCOMP) or post-processor
/// (PCOMP). The byte code is decoded once into an instruction per byte offset, so a jump may land
/// anywhere, as the language allows; memory accesses are masked to the power-of-two array sizes.
/// Every run is charged against an instruction credit, so a program that never halts fails.
class TZpaqlMachine
{
public:
    /// H holds 2^hashArrayBits 32-bit words, M 2^memoryArrayBits bytes.
    /// output receives OUT bytes; without one, OUT does nothing (as in a context program).
    TZpaqlMachine(const unsigned char* code, std::size_t codeSize, unsigned hashArrayBits, unsigned memoryArrayBits,
                  TZpaqOutputBuffer* output, const TZpaqLimits& limits, TZpaqMemoryBudget& budget);

    /// Runs the program once with A = input; throws TZpaqFormatError on a fault.
    void run(std::uint32_t input);
    /// Runs the program once per byte, as run() would, without leaving the interpreter in between.
    void run(const unsigned char* bytes, std::size_t count);
    /// Grants the extra credit an end-of-segment run may need to walk its whole memory.
    void grantEndOfSegmentCredit();

    std::uint32_t h(std::size_t index) const { return m_hashArray[index & m_hashArrayMask]; }

    /// Programs are at most this long: their lengths are stored in 16 bits.
    static constexpr std::size_t kMaxProgramSize = 65535;

private:
    /// One decoded instruction per byte offset of the program, so that a jump may land anywhere.
    struct Instruction
    {
        const void* handler;   // code that executes the instruction (or a fused pair)
        std::int32_t jump;     // entries to the jump destination; the error entry past the end when out of range
        std::uint16_t span;    // credit a taken backward jump costs, 0 for forward jumps
        std::uint8_t operand;  // N
        std::uint8_t operand2; // N of the second instruction of a fused pair
    };

    void decodeProgram(const unsigned char* code, std::size_t codeSize);
    /// Runs the program with A = input, then once per byte of more[0..moreCount); with
    /// handlerTable set it only reports the handler addresses.
    void execute(std::uint32_t input, const unsigned char* more, std::size_t moreCount,
                 const void* const** handlerTable);

    std::vector<Instruction> m_program;
    TZpaqZeroedMemory m_hashArrayStorage;
    TZpaqZeroedMemory m_memoryArrayStorage;
    std::uint32_t* m_hashArray;  // H
    std::uint8_t* m_memoryArray; // M
    std::uint32_t m_hashArrayMask;
    std::uint32_t m_memoryArrayMask;
    std::uint32_t m_b = 0;
    std::uint32_t m_c = 0;
    std::uint32_t m_d = 0;
    bool m_f = false;
    std::uint32_t m_r[256] = {};
    TZpaqOutputBuffer* m_output;
    unsigned char* m_outEnd = nullptr;
    std::int64_t m_credit;
    std::int64_t m_creditPerRun;
    std::int64_t m_creditPerOutput;
    std::int64_t m_creditAtEnd = 0;
};

} // namespace shared
