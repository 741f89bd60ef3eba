#include "packageitem/LauncherStyle.h"

namespace orvan::launcher {

QString launcherTextDeclarations(int pixelSize)
{
    return QStringLiteral("font-family: \"Liberation Sans\"; font-variant: small-caps; font-weight: bold; "
                          "color: #DADABC; font-size: %1px;")
        .arg(pixelSize);
}

QString launcherTextRule(const QString& selector, int pixelSize)
{
    return selector + QStringLiteral(" { ") + launcherTextDeclarations(pixelSize) + QStringLiteral(" }");
}

} // namespace orvan::launcher
