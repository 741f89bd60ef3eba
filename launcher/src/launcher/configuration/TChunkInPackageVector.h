#pragma once

#include "TChunkInPackage.h"

#include <vector>

namespace orvan::launcher {

/// The chunks of a package configuration in document order; files refer to them by index.
using TChunkInPackageVector = std::vector<TChunkInPackage>;

} // namespace orvan::launcher
