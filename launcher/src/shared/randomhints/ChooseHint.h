#pragma once

#include "THint.h"

#include <QDateTime>

#include <optional>
#include <vector>

namespace shared {

/// The hint to show at Now, or none: the first emergency hint whatever its dates; otherwise,
/// among the hints without an "emergency" key whose display window contains Now, the first
/// dated one, else one picked by the millisecond count of Now.
std::optional<THint> chooseHint(const std::vector<THint>& hints, const QDateTime& now);

} // namespace shared
