#include "support/TestWaits.h"

#include <QTest>

namespace testsupport {

bool holdsFor(const std::function<bool()>& condition, int quietMs)
{
    return condition() && !QTest::qWaitFor([&] { return !condition(); }, quietMs);
}

} // namespace testsupport
