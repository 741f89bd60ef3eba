#include "packageitem/LauncherStyle.h"

namespace orvan::launcher {

QString launcherTextDeclarations(int PixelSize)
{
    return QStringLiteral("font-family: \"Liberation Sans\"; font-variant: small-caps; font-weight: bold; "
                          "color: #DADABC; font-size: %1px;")
        .arg(PixelSize);
}

QString launcherTextRule(const QString& Selector, int PixelSize)
{
    return Selector + QStringLiteral(" { ") + launcherTextDeclarations(PixelSize) + QStringLiteral(" }");
}

} // namespace orvan::launcher
