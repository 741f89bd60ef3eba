#include "TZpaqPostProcessor.h"

#include "TZpaqFormatError.h"
#include "TZpaqMemoryBudget.h"
#include "TZpaqOutputBuffer.h"

namespace shared {

TZpaqPostProcessor::TZpaqPostProcessor(unsigned hashArrayBits, unsigned memoryArrayBits, TZpaqOutputBuffer& output,
                                       const TZpaqLimits& limits, TZpaqMemoryBudget& budget)
    : m_hashArrayBits(hashArrayBits), m_memoryArrayBits(memoryArrayBits), m_output(output), m_limits(limits),
      m_budget(budget), m_reservedBytes(TZpaqMemoryBudget::arrayBytes(hashArrayBits, 4) +
                                        TZpaqMemoryBudget::arrayBytes(memoryArrayBits, 1))
{
    // The memory a post-processor may need counts from the block header on, program or not.
    budget.reserve(m_reservedBytes);
}

TZpaqPostProcessor::~TZpaqPostProcessor() = default;

void TZpaqPostProcessor::write(const unsigned char* bytes, std::size_t count)
{
    // The header is taken byte by byte; the data after it goes on in one piece.
    while (count > 0 && m_state != EState::PassThrough && m_state != EState::Running) {
        write(*bytes++);
        --count;
    }
    if (count == 0)
        return;
    if (m_state == EState::PassThrough)
        m_output.write(bytes, count);
    else
        m_machine->run(bytes, count);
}

void TZpaqPostProcessor::write(int byte)
{
    switch (m_state) {
    case EState::PassThrough:
        m_output.put(byte);
        break;
    case EState::Running:
        m_machine->run(static_cast<std::uint32_t>(byte));
        break;
    case EState::ExpectType:
        if (byte == 0)
            m_state = EState::PassThrough;
        else if (byte == 1)
            m_state = EState::ExpectLengthLow;
        else
            throw TZpaqFormatError("unknown post-processing type");
        break;
    case EState::ExpectLengthLow:
        m_programLength = static_cast<std::size_t>(byte);
        m_state = EState::ExpectLengthHigh;
        break;
    case EState::ExpectLengthHigh:
        m_programLength |= static_cast<std::size_t>(byte) << 8;
        if (m_programLength == 0)
            throw TZpaqFormatError("empty post-processor");
        m_program.reserve(m_programLength);
        m_state = EState::ReadingProgram;
        break;
    case EState::ReadingProgram:
        m_program.push_back(static_cast<unsigned char>(byte));
        if (m_program.size() == m_programLength) {
            m_budget.release(m_reservedBytes); // the machine reserves its own memory
            m_reservedBytes = 0;
            m_machine = std::make_unique<TZpaqlMachine>(m_program.data(), m_program.size(), m_hashArrayBits,
                                                        m_memoryArrayBits, &m_output, m_limits, m_budget);
            m_state = EState::Running;
        }
        break;
    }
}

void TZpaqPostProcessor::endOfSegment()
{
    if (m_state == EState::PassThrough)
        return;
    if (m_state != EState::Running)
        throw TZpaqFormatError("segment ends inside the post-processor header");
    m_machine->grantEndOfSegmentCredit();
    m_machine->run(0xFFFFFFFFu);
}

} // namespace shared
