#include "TLauncherConfigurationException.h"

namespace orvan::launcher {

TLauncherConfigurationException::TLauncherConfigurationException(const QString& Message)
    : std::runtime_error(Message.toStdString())
{}

} // namespace orvan::launcher
