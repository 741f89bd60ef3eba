#pragma once

#include <QString>

namespace orvan::launcher {

/// The folder of the launcher's compiled-in artwork, with a trailing slash.
extern const QString LauncherImagePrefix;

/// Registers the compiled-in artwork; everything that shows an image calls it before it refers to one. Idempotent.
void ensureLauncherResources();

} // namespace orvan::launcher
