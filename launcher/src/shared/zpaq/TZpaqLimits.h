#pragma once

#include <cstddef>
#include <cstdint>

namespace shared {

/// Resource bounds that keep a hostile stream from exhausting memory or running forever.
/// The defaults are far above what real archives need. A ZPAQL program is charged only when a
/// backward jump re-enters code, by the length of code re-entered: that bounds the instructions
/// it runs without counting each one.
struct TZpaqLimits
{
    /// Bytes one block may allocate for its model, context program and post-processor together.
    std::size_t maxBlockMemory = std::size_t(2) << 30;
    /// Instructions every ZPAQL program may run before any byte arrives.
    std::uint64_t baseInstructions = std::uint64_t(1) << 26;
    /// Further instructions granted per byte the program is run on.
    std::uint64_t instructionsPerByte = 1024;
    /// Further instructions granted per byte a post-processor writes.
    std::uint64_t instructionsPerOutput = 64;
    /// Further instructions granted per memory cell (H entry or M byte) at each end of segment,
    /// where transforms such as the inverse BWT walk their whole buffer.
    std::uint64_t instructionsPerCellAtEnd = 64;
    /// Decoded bytes one block may produce, as a multiple of the output capacity (plus a
    /// post-processor program); transforms never shrink data by that much.
    std::uint64_t decodedPerOutputByte = 4;
};

} // namespace shared
