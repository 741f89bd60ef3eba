#include "TPackBuildError.h"

namespace packbuilder {

TPackBuildError::TPackBuildError(const QString& message) : std::runtime_error(message.toStdString()) {}

} // namespace packbuilder
