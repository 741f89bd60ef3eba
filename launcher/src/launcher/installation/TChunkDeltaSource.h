#pragma once

#include "configuration/TChunkDelta.h"
#include "configuration/TChunkInPackage.h"

#include <QString>

#include <memory>

namespace orvan::launcher {

class TDeltaBaseStore;

/// A chunk that is fetched as a delta: the delta, the chunk as the package describes it (what is
/// fetched instead when the delta fails), and the store that holds the base chunks read from the
/// local file before anything was written to it.
struct TChunkDeltaSource
{
    TChunkDelta delta;
    TChunkInPackage wholeChunk;
    std::shared_ptr<const TDeltaBaseStore> baseStore;
    /// Why the last rebuild failed; written by the step before it reports back.
    QString failure;
};

} // namespace orvan::launcher
