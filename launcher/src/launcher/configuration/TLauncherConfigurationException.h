#pragma once

#include <QString>

#include <stdexcept>

namespace orvan::launcher {

/// Thrown when the main configuration document is not valid JSON (the text is the parser's message)
/// or lists more packages than the launcher takes.
class TLauncherConfigurationException : public std::runtime_error
{
public:
    explicit TLauncherConfigurationException(const QString& message);
};

} // namespace orvan::launcher
