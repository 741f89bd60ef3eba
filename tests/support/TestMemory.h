#pragma once

#include <QtGlobal>

namespace testsupport {

/// A memory figure from /proc/<pid>/status in bytes ("VmHWM" peak resident, "VmRSS", "VmPeak"
/// peak virtual, "VmSize") of this process or, with a pid, of another one; -1 when it cannot be read.
qint64 processMemoryBytes(const char* field, qint64 pid = 0);

/// Starts the resident peak (VmHWM) again at the current resident size; false when refused.
bool resetPeakResident();

} // namespace testsupport
