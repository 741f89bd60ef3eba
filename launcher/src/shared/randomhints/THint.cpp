#include "THint.h"

namespace shared {

bool THint::isCurrent(const QDateTime& Now) const
{
    const bool started = !displayAfter.isValid() || displayAfter <= Now;
    const bool notEnded = !displayUntil.isValid() || displayUntil >= Now;
    return started && notEnded;
}

void THint::registerMetaTypes()
{
    qRegisterMetaType<THint>("shared::THint");
    qRegisterMetaType<std::vector<THint>>("std::vector<shared::THint>");
}

} // namespace shared
