#pragma once

#include <array>
#include <cstdint>

namespace shared {

/// The gear values of the content-defined chunking, indexed by byte value. They are part of the
/// package data format: the package building tool cut the published chunks with exactly these
/// values, and a local file only re-synchronises with those chunks when it is cut the same way.
extern const std::array<std::uint32_t, 256> chunkingGearTable;

} // namespace shared
