#pragma once

#include <QtGlobal>

namespace testsupport {

/// A memory figure of this process from /proc/self/status in bytes ("VmHWM" peak resident,
/// "VmRSS", "VmPeak" peak virtual, "VmSize"); -1 when it cannot be read.
qint64 processMemoryBytes(const char* field);

/// Starts the resident peak (VmHWM) again at the current resident size; false when refused.
bool resetPeakResident();

} // namespace testsupport
