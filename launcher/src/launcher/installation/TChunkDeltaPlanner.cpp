#include "TChunkDeltaPlanner.h"

#include "TChunkDeltaSource.h"
#include "TDeltaBaseStore.h"

#include "delta/TChunkDeltaFormat.h"

#include <QHash>

#include <algorithm>

namespace orvan::launcher {

namespace {

/// The local blocks a delta rebuilds from, or none when one is missing or the base is too large.
std::vector<const TBlockMatcher::TBlock*> baseBlocks(const TChunkDelta& delta,
                                                     const QHash<QByteArray, const TBlockMatcher::TBlock*>& byHash)
{
    std::vector<const TBlockMatcher::TBlock*> blocks;
    quint64 total = 0;
    for (const QByteArray& hash : delta.from) {
        const TBlockMatcher::TBlock* block = byHash.value(hash, nullptr);
        if (block == nullptr)
            return {};
        total += block->length;
        blocks.push_back(block);
    }
    return total <= shared::TChunkDeltaFormat::MaxBaseBytes ? blocks : std::vector<const TBlockMatcher::TBlock*>();
}

} // namespace

bool TChunkDeltaPlanner::plan(TFileToDownload& entry, const std::vector<TChunkReuseState>& states,
                              const std::vector<TBlockMatcher::TBlock>& blocks, const QString& path,
                              const TStoreProvider& store)
{
    QHash<QByteArray, const TBlockMatcher::TBlock*> byHash;
    for (const TBlockMatcher::TBlock& block : blocks)
        byHash.insert(block.hash, &block);
    bool planned = false;
    for (std::size_t position = 0; position < states.size() && position < entry.chunks.size(); ++position) {
        const TChunkInPackage& chunk = entry.chunks[position];
        if (states[position].state != TChunkReuseState::Needed || chunk.deltas.empty() ||
            chunk.unpackedSize > shared::TChunkDeltaFormat::MaxChunkBytes)
            continue;
        std::vector<const TChunkDelta*> deltas;
        for (const TChunkDelta& delta : chunk.deltas)
            deltas.push_back(&delta);
        std::stable_sort(deltas.begin(), deltas.end(),
                         [](const TChunkDelta* left, const TChunkDelta* right) { return left->size < right->size; });
        for (const TChunkDelta* delta : deltas) {
            const std::vector<const TBlockMatcher::TBlock*> base = baseBlocks(*delta, byHash);
            if (base.empty())
                continue;
            const std::shared_ptr<TDeltaBaseStore> baseStore = store();
            const bool kept = std::all_of(base.begin(), base.end(), [&](const TBlockMatcher::TBlock* block) {
                return baseStore->keep(block->hash, path, block->offset, block->length);
            });
            if (!kept)
                continue;
            auto source = std::make_shared<TChunkDeltaSource>();
            source->delta = *delta;
            source->baseStore = baseStore;
            entry.deltaSources[static_cast<qint32>(position)] = std::move(source);
            planned = true;
            break;
        }
    }
    return planned;
}

} // namespace orvan::launcher
