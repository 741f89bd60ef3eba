#pragma once

#include <QString>

#include <stdexcept>

namespace quenmarpack {

/// A failure a subcommand reports to the user as one line on standard error.
class TCommandError : public std::runtime_error
{
public:
    explicit TCommandError(const QString& message);
};

} // namespace quenmarpack
