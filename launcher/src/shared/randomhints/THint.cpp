#include "THint.h"

namespace shared {

bool THint::isCurrent(const QDateTime& now) const
{
    const bool started = !displayAfter.isValid() || displayAfter <= now;
    const bool notEnded = !displayUntil.isValid() || displayUntil >= now;
    return started && notEnded;
}

void THint::registerMetaTypes()
{
    qRegisterMetaType<THint>("shared::THint");
    qRegisterMetaType<std::vector<THint>>("std::vector<shared::THint>");
}

} // namespace shared
