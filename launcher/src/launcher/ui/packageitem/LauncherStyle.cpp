#include "packageitem/LauncherStyle.h"

#include <QFile>

// The resources are compiled into a static library; only an explicit registration makes sure that the linker keeps
// them and that they are visible before the first image is looked up.
static void initLauncherResources()
{
    Q_INIT_RESOURCE(launcher);
}

namespace orvan::launcher {

const QString LauncherImagePrefix = QStringLiteral(":/images/launcher/");

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

void ensureLauncherResources()
{
    if (!QFile::exists(LauncherImagePrefix + QStringLiteral("BackgroundImage.jpg"))) {
        initLauncherResources();
    }
}

} // namespace orvan::launcher
