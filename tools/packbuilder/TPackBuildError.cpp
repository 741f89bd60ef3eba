#include "TPackBuildError.h"

namespace packbuilder {

TPackBuildError::TPackBuildError(const QString& Message) : std::runtime_error(Message.toStdString()) {}

} // namespace packbuilder
