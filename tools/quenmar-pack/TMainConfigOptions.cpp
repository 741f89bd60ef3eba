#include "TMainConfigOptions.h"

#include "TCommandError.h"

#include "packbuilder/TMainConfigurationWriter.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

namespace quenmarpack {

namespace {

std::optional<bool> parseBool(const QString& option, const QString& text)
{
    if (text == QLatin1String("true") || text == QLatin1String("yes") || text == QLatin1String("1"))
        return true;
    if (text == QLatin1String("false") || text == QLatin1String("no") || text == QLatin1String("0"))
        return false;
    throw TCommandError(QStringLiteral("invalid value '%1' for --%2 (true or false)").arg(text, option));
}

} // namespace

void TMainConfigOptions::addTo(QCommandLineParser& parser)
{
    parser.addOptions({
        {QStringLiteral("main-config"), QString(), QStringLiteral("file")},
        {QStringLiteral("name"), QString(), QStringLiteral("text")},
        {QStringLiteral("directory-name"), QString(), QStringLiteral("name")},
        {QStringLiteral("install-automatically"), QString(), QStringLiteral("bool")},
        {QStringLiteral("logo-link"), QString(), QStringLiteral("url")},
        {QStringLiteral("package-url"), QString(), QStringLiteral("url")},
        {QStringLiteral("assets-url"), QString(), QStringLiteral("url")},
        {QStringLiteral("os"), QString(), QStringLiteral("name")},
        {QStringLiteral("architecture"), QString(), QStringLiteral("name")},
        {QStringLiteral("launcher"), QString()},
        {QStringLiteral("hints-url"), QString(), QStringLiteral("url")},
        {QStringLiteral("funnel-url"), QString(), QStringLiteral("url")},
        {QStringLiteral("survey-url"), QString(), QStringLiteral("url")},
    });
}

QString TMainConfigOptions::usage()
{
    return QStringLiteral(
        "Main configuration (created when missing, otherwise updated; other packages, builds for\n"
        "other platforms and unknown keys are kept):\n"
        "  --main-config FILE         the main configuration document to add the package to\n"
        "  --name TEXT                the package's display name (default: the name of the\n"
        "                             folder that holds the package document)\n"
        "  --directory-name NAME      its installation folder on the player's machine (default:\n"
        "                             the name); an entry with this directory name is updated\n"
        "  --install-automatically true|false\n"
        "                             \"installautomatically\" of the package (unchanged when absent)\n"
        "  --logo-link URL            \"logolinktarget\" of the package\n"
        "  --package-url URL          URL of the package document (default: its path relative\n"
        "                             to the main configuration, which must then lie above it)\n"
        "  --assets-url URL           URL of the asset document (default: relative, when present)\n"
        "  --os NAME                  platform of the build (default linux)\n"
        "  --architecture NAME        processor of the build (default x86_64)\n"
        "  --launcher                 the package is the launcher itself (\"launcher\" entry; no\n"
        "                             --install-automatically or --logo-link)\n"
        "  --hints-url URL            \"hints\" of the document (empty text removes it)\n"
        "  --funnel-url URL           \"funnel\" of the document\n"
        "  --survey-url URL           \"hardwaresurvey\" of the document\n");
}

bool TMainConfigOptions::isLauncher(const QCommandLineParser& parser)
{
    return parser.isSet(QStringLiteral("launcher"));
}

void TMainConfigOptions::checkLauncherOptions(const QCommandLineParser& parser)
{
    if (!isLauncher(parser))
        return;
    for (const char* option : {"install-automatically", "logo-link"}) {
        if (parser.isSet(QLatin1String(option)))
            throw TCommandError(
                QStringLiteral("--%1 has no meaning for the launcher's own package (--launcher)").arg(option));
    }
}

void TMainConfigOptions::apply(const QCommandLineParser& parser, const QString& packageFolder,
                               const QString& packageFileName, const QString& assetFileName, const QString& defaultName)
{
    checkLauncherOptions(parser);
    const QString mainPath = parser.value(QStringLiteral("main-config"));
    if (mainPath.isEmpty())
        throw TCommandError(QStringLiteral("no main configuration given (--main-config FILE)"));
    const QDir folder(packageFolder);
    const QString packagePath = folder.filePath(packageFileName);
    if (!QFileInfo(packagePath).isFile())
        throw TCommandError(QStringLiteral("'%1' does not exist; build the package first").arg(packagePath));

    packbuilder::TMainConfigurationEntry entry;
    entry.name = parser.isSet(QStringLiteral("name")) ? parser.value(QStringLiteral("name")) : defaultName;
    entry.directoryName =
        parser.isSet(QStringLiteral("directory-name")) ? parser.value(QStringLiteral("directory-name")) : entry.name;
    if (parser.isSet(QStringLiteral("install-automatically")))
        entry.installAutomatically =
            parseBool(QStringLiteral("install-automatically"), parser.value(QStringLiteral("install-automatically")));
    if (parser.isSet(QStringLiteral("logo-link")))
        entry.logoLinkTarget = parser.value(QStringLiteral("logo-link"));
    entry.packageUrl = parser.isSet(QStringLiteral("package-url"))
                           ? parser.value(QStringLiteral("package-url"))
                           : packbuilder::TMainConfigurationWriter::relativeUrl(mainPath, packagePath);
    const QString assetPath = folder.filePath(assetFileName);
    if (parser.isSet(QStringLiteral("assets-url")))
        entry.assetsUrl = parser.value(QStringLiteral("assets-url"));
    else if (QFileInfo(assetPath).isFile())
        entry.assetsUrl = packbuilder::TMainConfigurationWriter::relativeUrl(mainPath, assetPath);
    if (parser.isSet(QStringLiteral("os")))
        entry.operatingSystem = parser.value(QStringLiteral("os"));
    if (parser.isSet(QStringLiteral("architecture")))
        entry.architecture = parser.value(QStringLiteral("architecture"));
    entry.isLauncher = isLauncher(parser);

    packbuilder::TMainConfigurationWriter writer(mainPath);
    writer.setPackage(entry);
    const struct
    {
        const char* option;
        const char* key;
    } services[] = {{"hints-url", "hints"}, {"funnel-url", "funnel"}, {"survey-url", "hardwaresurvey"}};
    for (const auto& service : services) {
        if (parser.isSet(QLatin1String(service.option)))
            writer.setServiceUrl(QLatin1String(service.key), parser.value(QLatin1String(service.option)));
    }
    writer.write();
}

} // namespace quenmarpack
