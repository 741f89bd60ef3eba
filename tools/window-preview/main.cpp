#include "TPreviewScene.h"

#include "mainwindow/TLauncherMainWindow.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QPixmap>
#include <QTimer>

#include <cstdio>

using orvan::launcher::TPreviewScene;

// window-preview [--packages N] [--names] [--no-hints] [--output file.png]
// Without --output the window stays open; with it, the window is grabbed once it is laid out and the program ends.
int main(int argc, char** argv)
{
    QApplication application(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Shows the launcher window with demo packages and hints."));
    parser.addHelpOption();
    const QCommandLineOption packagesOption(QStringLiteral("packages"), QStringLiteral("Number of packages (0-8)."),
                                            QStringLiteral("count"), QStringLiteral("4"));
    const QCommandLineOption namesOption(QStringLiteral("names"), QStringLiteral("Show the package names."));
    const QCommandLineOption noHintsOption(QStringLiteral("no-hints"), QStringLiteral("Leave the hints out."));
    const QCommandLineOption outputOption(QStringLiteral("output"), QStringLiteral("Grab the window to this PNG."),
                                          QStringLiteral("file"));
    const QCommandLineOption pausedOption(QStringLiteral("paused"), QStringLiteral("Pause the demo installation."));
    const QCommandLineOption settingsOption(QStringLiteral("settings-output"),
                                            QStringLiteral("Also grab the download settings dialog to this PNG."),
                                            QStringLiteral("file"));
    parser.addOptions({packagesOption, namesOption, noHintsOption, outputOption, pausedOption, settingsOption});
    parser.process(application);

    bool countIsNumber = false;
    const int count = parser.value(packagesOption).toInt(&countIsNumber);
    if (!countIsNumber || count < 0 || count > 8) {
        std::fprintf(stderr, "--packages takes a number from 0 to 8\n");
        return 2;
    }

    TPreviewScene scene(count, parser.isSet(namesOption));
    scene.window().show();
    if (!parser.isSet(noHintsOption)) {
        scene.showHints();
    }
    if (parser.isSet(pausedOption)) {
        scene.pauseInstallation();
    }
    if (!parser.isSet(outputOption)) {
        return application.exec();
    }

    const QString output = parser.value(outputOption);
    int result = 1;
    // Give the window system a moment to map and lay out the window before grabbing it.
    QTimer::singleShot(500, [&] {
        result = scene.window().grab().save(output, "PNG") ? 0 : 1;
        if (result != 0) {
            std::fprintf(stderr, "could not write %s\n", qPrintable(output));
        }
        if (!parser.isSet(settingsOption)) {
            application.quit();
            return;
        }
        scene.window().openDownloadSettings();
        QTimer::singleShot(300, [&] {
            const QString settingsOutput = parser.value(settingsOption);
            if (!scene.window().downloadSettingsDialog()->grab().save(settingsOutput, "PNG")) {
                std::fprintf(stderr, "could not write %s\n", qPrintable(settingsOutput));
                result = 1;
            }
            application.quit();
        });
    });
    application.exec();
    return result;
}
