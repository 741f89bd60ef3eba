#pragma once

#include <QString>

namespace orvan::launcher {

/// The folder of the launcher's compiled-in artwork, with a trailing slash.
extern const QString LauncherImagePrefix;

/// Style sheet declarations of the launcher's text: "Liberation Sans", small caps, bold, #DADABC, PixelSize px.
/// Without a selector, for use inside a rule.
QString launcherTextDeclarations(int PixelSize);

/// A complete style sheet rule giving Selector the launcher's text style in PixelSize pixels.
QString launcherTextRule(const QString& Selector, int PixelSize);

/// Registers the compiled-in artwork; the window classes call it before they refer to any image. Idempotent.
void ensureLauncherResources();

} // namespace orvan::launcher
