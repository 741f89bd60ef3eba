#include "TLauncherConfigurationException.h"

namespace orvan::launcher {

TLauncherConfigurationException::TLauncherConfigurationException(const QString& message)
    : std::runtime_error(message.toStdString())
{}

} // namespace orvan::launcher
