#include "artwork/LauncherArtwork.h"

#include <QFile>

// The resources are compiled into a static library; only an explicit registration makes sure that the linker keeps
// them and that they are visible before the first image is looked up.
static void initLauncherArtwork()
{
    Q_INIT_RESOURCE(artwork);
}

namespace orvan::launcher {

const QString LauncherImagePrefix = QStringLiteral(":/images/launcher/");

void ensureLauncherResources()
{
    if (!QFile::exists(LauncherImagePrefix + QStringLiteral("BackgroundImage.jpg"))) {
        initLauncherArtwork();
    }
}

} // namespace orvan::launcher
