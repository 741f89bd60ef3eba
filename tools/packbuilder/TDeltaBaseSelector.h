#pragma once

#include <QtGlobal>

#include <cstddef>
#include <vector>

namespace packbuilder {

/// Chooses the chunks of an older version of a file that a new chunk's delta references: those
/// that overlap the new chunk's byte range, widened by one on each side, and at most maxBytes in
/// all. Content edited in place or shifted by an insertion is then found in the base.
class TDeltaBaseSelector
{
public:
    /// Positions (first to last, contiguous) in oldSizes; empty when the old file is empty.
    static std::vector<std::size_t> select(const std::vector<quint64>& oldSizes, quint64 start, quint64 end,
                                           quint64 maxBytes);
};

} // namespace packbuilder
