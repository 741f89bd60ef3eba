#pragma once

#include "artwork/LauncherArtwork.h"

#include <QString>

namespace orvan::launcher {

/// Style sheet declarations of the launcher's text: "Liberation Sans", small caps, bold, #DADABC, pixelSize px.
/// Without a selector, for use inside a rule.
QString launcherTextDeclarations(int pixelSize);

/// A complete style sheet rule giving Selector the launcher's text style in pixelSize pixels.
QString launcherTextRule(const QString& selector, int pixelSize);

} // namespace orvan::launcher
