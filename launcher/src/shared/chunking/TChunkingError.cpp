#include "TChunkingError.h"

namespace shared {

TChunkingError::TChunkingError(const QString& path, const QString& reason)
    : std::runtime_error(QStringLiteral("I/O error on file '%1': %2").arg(path, reason).toStdString())
{}

} // namespace shared
