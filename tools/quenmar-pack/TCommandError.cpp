#include "TCommandError.h"

namespace quenmarpack {

TCommandError::TCommandError(const QString& message) : std::runtime_error(message.toStdString()) {}

} // namespace quenmarpack
