#pragma once

#include <functional>

namespace testsupport {

/// For checks that something does NOT happen: runs the event loop for quietMs and returns false as
/// soon as condition stops holding (true when it held throughout). Only for such negative checks;
/// anything that is expected to happen is waited for with QTRY_* or QSignalSpy::wait instead.
bool holdsFor(const std::function<bool()>& condition, int quietMs);

} // namespace testsupport
