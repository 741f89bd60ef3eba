#include "ChooseHint.h"

namespace shared {

std::optional<THint> chooseHint(const std::vector<THint>& Hints, const QDateTime& Now)
{
    for (const THint& hint : Hints) {
        if (hint.hasEmergency && hint.emergency) {
            return hint;
        }
    }
    std::vector<const THint*> candidates;
    for (const THint& hint : Hints) {
        // A hint with "emergency": false is held back until it is switched on.
        if (!hint.hasEmergency && hint.isCurrent(Now)) {
            candidates.push_back(&hint);
        }
    }
    for (const THint* candidate : candidates) {
        if (candidate->isDated()) {
            return *candidate;
        }
    }
    if (candidates.empty()) {
        return std::nullopt;
    }
    // Euclidean remainder, so that instants before 1970 still pick a valid index.
    const auto count = static_cast<qint64>(candidates.size());
    const qint64 index = ((Now.toMSecsSinceEpoch() % count) + count) % count;
    return *candidates[static_cast<std::size_t>(index)];
}

} // namespace shared
