#include "ChooseHint.h"

namespace shared {

std::optional<THint> chooseHint(const std::vector<THint>& hints, const QDateTime& now)
{
    for (const THint& hint : hints) {
        if (hint.hasEmergency && hint.emergency) {
            return hint;
        }
    }
    std::vector<const THint*> candidates;
    for (const THint& hint : hints) {
        // A hint with "emergency": false is held back until it is switched on.
        if (!hint.hasEmergency && hint.isCurrent(now)) {
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
    const qint64 index = ((now.toMSecsSinceEpoch() % count) + count) % count;
    return *candidates[static_cast<std::size_t>(index)];
}

} // namespace shared
