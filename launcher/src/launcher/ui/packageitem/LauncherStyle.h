#pragma once

#include "artwork/LauncherArtwork.h"

#include <QString>

namespace orvan::launcher {

/// Style sheet declarations of the launcher's text: "Liberation Sans", small caps, bold, #DADABC, PixelSize px.
/// Without a selector, for use inside a rule.
QString launcherTextDeclarations(int PixelSize);

/// A complete style sheet rule giving Selector the launcher's text style in PixelSize pixels.
QString launcherTextRule(const QString& Selector, int PixelSize);

} // namespace orvan::launcher
