#pragma once

#include "TBlockMatcher.h"
#include "TChunkReuseState.h"
#include "TFileToDownload.h"

#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace orvan::launcher {

class TDeltaBaseStore;

/// Chooses, while a file is scanned, a delta for each chunk it still needs whose base chunks all
/// lie in the local file, and keeps those base chunks in the run's base store before the file is
/// rebuilt in place or written.
class TChunkDeltaPlanner
{
public:
    using TStoreProvider = std::function<std::shared_ptr<TDeltaBaseStore>()>;

    /// Blocks are the local file's pieces at Path as the matcher saw them; the store is asked for
    /// only when some delta can be used. Returns true when a delta was chosen.
    static bool plan(TFileToDownload& entry, const std::vector<TChunkReuseState>& states,
                     const std::vector<TBlockMatcher::TBlock>& blocks, const QString& path,
                     const TStoreProvider& store);
};

} // namespace orvan::launcher
