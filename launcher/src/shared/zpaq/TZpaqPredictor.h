#pragma once

#include "TZpaqZeroedMemory.h"
#include "TZpaqlMachine.h"

#include <cstddef>
#include <cstdint>
#include <vector>

namespace shared {

class TZpaqArithmeticDecoder;
class TZpaqMemoryBudget;
struct TZpaqLimits;

/// The context-mixing model of a block: a chain of components that each turn a context (computed
/// after every byte by the block's HCOMP program) and the outputs of earlier components into a
/// prediction that the next bit is a 1. The last component's output codes the bit.
class TZpaqPredictor
{
public:
    enum EComponentType : std::uint8_t
    {
        Const = 1,
        ContextModel = 2,
        IndirectContextModel = 3,
        Match = 4,
        Average = 5,
        Mix2 = 6,
        Mix = 7,
        IndirectSse = 8,
        Sse = 9
    };

    /// Bytes a component description of the given type occupies (type byte included), 0 if the
    /// type is unknown.
    static std::size_t descriptionSize(unsigned type);

    /// components points at componentCount descriptions (already checked for length by the
    /// caller); hcomp is the context program run after every byte with 2^hashArrayBits words of H
    /// and 2^memoryArrayBits bytes of M. Throws TZpaqFormatError on a bad description or exhausted
    /// budget.
    TZpaqPredictor(const unsigned char* components, std::size_t componentCount, const unsigned char* hcomp,
                   std::size_t hcompSize, unsigned hashArrayBits, unsigned memoryArrayBits, const TZpaqLimits& limits,
                   TZpaqMemoryBudget& budget);

    /// Decodes one byte: eight bits, each coded with the model's prediction, training the model on
    /// each bit and running the context program after the last one.
    int decodeByte(TZpaqArithmeticDecoder& coder);

private:
    struct Component
    {
        EComponentType type = Const;
        std::uint8_t input0 = 0;     // j: first input component
        std::uint8_t input1 = 0;     // k: second input component (AVG, MIX2)
        std::uint8_t inputCount = 0; // m: inputs of a MIX
        int rate = 0;                // learning rate of the mixers
        int weight = 0;              // AVG weight of input0, CONST output
        std::uint32_t bitMask = 0;   // mixers: mask over the partial byte added to the context
        std::uint32_t limit = 0;     // CM, SSE: highest adaptation count
        std::uint32_t tableMask = 0; // entries - 1 of the main table
        std::uint32_t slotBits = 0;  // ICM, ISSE: log2 of the number of 16-byte slots
        std::uint32_t context = 0;   // entry chosen by the last prediction
        std::uint32_t slot = 0;      // ICM, ISSE: offset of the current 16-byte slot
        // MATCH state
        std::uint32_t matchLength = 0;
        std::uint32_t matchOffset = 0;
        std::uint32_t position = 0;
        std::uint32_t bitPosition = 0;
        int predictedBit = 0;
        std::uint32_t bufferMask = 0;
        // Tables; which ones exist depends on the type.
        TZpaqZeroedMemory table;   // CM/SSE counters, ICM probabilities, ISSE/MIX/MIX2 weights, MATCH index
        TZpaqZeroedMemory history; // ICM/ISSE bit-history slots, MATCH history buffer
    };

    void addComponent(const unsigned char* cp, std::size_t index, TZpaqMemoryBudget& budget);
    std::uint32_t findSlot(Component& component, std::uint32_t context);
    /// Predictions for the first bit of a block.
    void predictFirstBit();
    /// Trains every component on the coded bit and predicts the next one in the same pass;
    /// without Train only predicts (the first bit of a block).
    template <bool Train> void advance(int bit);
    /// Starts loading the table lines a nibble will use; nibbleStart is the partial byte (with its
    /// leading 1) at the nibble's start: 1 for the first nibble, 16..31 for the second.
    void prefetchTables(std::uint32_t nibbleStart);

    std::vector<Component> m_components;
    TZpaqlMachine m_hcomp;
    std::vector<std::uint32_t> m_contexts;         // h[i]: byte contexts computed by HCOMP
    std::vector<std::uint32_t> m_previousContexts; // the contexts of the byte before
    int m_predictions[2][256] = {};                // outputs for the last bit and for the next one
    int m_current = 0;                             // which row of m_predictions holds the next bit's
    int m_probability = 32768;                     // the coder's probability for the next bit
    std::uint32_t m_partialByte = 1;               // bits of the current byte so far, behind a leading 1
    std::uint32_t m_nibbleHash = 1;                // partial byte regrouped per nibble for the hashed models
    bool m_runContextProgram;
    const std::int16_t* m_stretch;
    const std::int16_t* m_squash;
    const std::uint8_t* m_nextState;
    const std::uint32_t* m_reciprocals;
};

} // namespace shared
