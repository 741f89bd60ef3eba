#include "artwork/LauncherArtwork.h"

#include <QApplication>

int runWidgetTests(int argc, char** argv);
int runTextBrowserTests(int argc, char** argv);
int runArtworkTests(int argc, char** argv);

// The widget, text browser and artwork test classes share one executable and one QApplication.
int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    orvan::launcher::ensureLauncherResources();
    int failures = 0;
    failures += runWidgetTests(argc, argv);
    failures += runTextBrowserTests(argc, argv);
    failures += runArtworkTests(argc, argv);
    return failures;
}
