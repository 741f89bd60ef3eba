#include "TChunkDeltaError.h"

namespace shared {

TChunkDeltaError::TChunkDeltaError(const QString& reason) : std::runtime_error(reason.toStdString()) {}

} // namespace shared
