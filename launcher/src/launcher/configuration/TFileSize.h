#pragma once

#include <QtGlobal>

namespace orvan::launcher {

/// A byte count of a file, a chunk or a transfer; every progress signal carries it.
using TFileSize = quint64;

} // namespace orvan::launcher
