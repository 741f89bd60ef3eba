#include "TDeltaBaseSelector.h"

#include <algorithm>

namespace packbuilder {

namespace {

quint64 overlap(quint64 firstStart, quint64 firstEnd, quint64 secondStart, quint64 secondEnd)
{
    const quint64 start = std::max(firstStart, secondStart);
    const quint64 end = std::min(firstEnd, secondEnd);
    return end > start ? end - start : 0;
}

} // namespace

std::vector<std::size_t> TDeltaBaseSelector::select(const std::vector<quint64>& oldSizes, quint64 start, quint64 end,
                                                    quint64 maxBytes)
{
    if (oldSizes.empty())
        return {};
    std::vector<quint64> offsets(oldSizes.size() + 1, 0);
    for (std::size_t index = 0; index < oldSizes.size(); ++index)
        offsets[index + 1] = offsets[index] + oldSizes[index];

    // The old chunks that overlap the range; past the old end of the file, the last one.
    std::size_t first = oldSizes.size() - 1;
    std::size_t last = first;
    bool found = false;
    for (std::size_t index = 0; index < oldSizes.size(); ++index) {
        if (overlap(offsets[index], offsets[index + 1], start, end) == 0)
            continue;
        first = found ? first : index;
        last = index;
        found = true;
    }
    first = first > 0 ? first - 1 : first;
    last = std::min(last + 1, oldSizes.size() - 1);

    quint64 total = offsets[last + 1] - offsets[first];
    // Over the bound, the end that shares less with the new range goes first.
    while (total > maxBytes && first < last) {
        const quint64 front = overlap(offsets[first], offsets[first + 1], start, end);
        const quint64 back = overlap(offsets[last], offsets[last + 1], start, end);
        if (front < back) {
            total -= oldSizes[first];
            ++first;
        } else {
            total -= oldSizes[last];
            --last;
        }
    }
    if (total > maxBytes)
        return {};
    std::vector<std::size_t> positions;
    for (std::size_t index = first; index <= last; ++index)
        positions.push_back(index);
    return positions;
}

} // namespace packbuilder
