#pragma once

#include "configuration/TFileSize.h"

#include <functional>

namespace orvan::launcher {

/// Reports Done of Total bytes of a step. Called from pool threads: it must be thread-safe, for
/// example by emitting a signal that reaches its receivers queued.
using TProgressCallback = std::function<void(TFileSize done, TFileSize total)>;

} // namespace orvan::launcher
