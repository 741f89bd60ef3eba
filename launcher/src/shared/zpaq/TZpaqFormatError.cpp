#include "TZpaqFormatError.h"

namespace shared {

TZpaqFormatError::TZpaqFormatError(const std::string& reason) : std::runtime_error("ZPAQ stream rejected: " + reason) {}

} // namespace shared
