#include "TDecompressionError.h"

namespace shared {

TDecompressionError::TDecompressionError() : std::runtime_error("Invalid input data could not be decompressed") {}

} // namespace shared
