#include "TMainConfigOptions.h"

#include "TCommandError.h"

#include "packbuilder/TMainConfigurationWriter.h"
#include "packbuilder/TSigningKey.h"

#include <QCommandLineParser>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>
#include <QUrl>

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

qint64 parseCount(const QCommandLineParser& parser, const char* option, qint64 minimum)
{
    bool ok = false;
    const QString text = parser.value(QLatin1String(option));
    const qint64 value = text.toLongLong(&ok);
    // A serial travels as a JSON number, which holds integers exactly up to 2^53.
    if (!ok || value < minimum || value > (qint64(1) << 53))
        throw TCommandError(QStringLiteral("invalid value '%1' for --%2 (an integer >= %3)")
                                .arg(text, QLatin1String(option))
                                .arg(minimum));
    return value;
}

/// The --mirror values; throws for one that is not an absolute http(s) URL of a folder.
QStringList mirrorUrls(const QCommandLineParser& parser)
{
    const QStringList mirrors = parser.values(QStringLiteral("mirror"));
    for (const QString& text : mirrors) {
        const QUrl url(text, QUrl::StrictMode);
        const QString scheme = url.scheme().toLower();
        if (!url.isValid() || url.host().isEmpty() || url.hasQuery() || url.hasFragment() ||
            (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
            throw TCommandError(
                QStringLiteral("invalid value '%1' for --mirror (an http:// or https:// URL without query)").arg(text));
    }
    return mirrors;
}

/// Sets "serial" and "expires" as the options ask, and warns about what launchers would refuse.
void applyFreshness(const QCommandLineParser& parser, packbuilder::TMainConfigurationWriter& writer, QTextStream& err)
{
    const std::optional<qint64> current = writer.serial();
    if (parser.isSet(QStringLiteral("serial"))) {
        const qint64 serial = parseCount(parser, "serial", 0);
        if (current && serial < *current)
            err << "warning: serial " << serial << " is lower than the document's serial " << *current
                << "; launchers that accepted that one refuse this document\n";
        writer.setSerial(serial);
    } else if (parser.isSet(QStringLiteral("sign-key")) || current) {
        writer.setSerial(current.value_or(0) + 1);
    }
    const QDateTime now = QDateTime::currentDateTimeUtc();
    if (parser.isSet(QStringLiteral("expires-in")))
        writer.setExpires(now.addDays(parseCount(parser, "expires-in", 1)));
    const std::optional<QDateTime> expires = writer.expires();
    if (expires && (!expires->isValid() || *expires <= now))
        err << "warning: the document's \"expires\" is past or unreadable; launchers refuse it (renew it with "
               "--expires-in DAYS)\n";
}

void warnAboutUnpinnedBuilds(const packbuilder::TMainConfigurationWriter& writer, QTextStream& err)
{
    for (const QString& build : writer.unpinnedBuilds())
        err << "warning: build " << build
            << " has no \"sha256\"/\"assetssha256\" pin; launchers with keys refuse it until it is published "
               "again\n";
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
        {QStringLiteral("mirror"), QString(), QStringLiteral("url")},
        {QStringLiteral("launcher"), QString()},
        {QStringLiteral("hints-url"), QString(), QStringLiteral("url")},
        {QStringLiteral("funnel-url"), QString(), QStringLiteral("url")},
        {QStringLiteral("survey-url"), QString(), QStringLiteral("url")},
        {QStringLiteral("sign-key"), QString(), QStringLiteral("file")},
        {QStringLiteral("serial"), QString(), QStringLiteral("n")},
        {QStringLiteral("expires-in"), QString(), QStringLiteral("days")},
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
        "  --mirror URL               base URL of a copy of the published folder (repeatable, in\n"
        "                             the order launchers try them after the build's own folder);\n"
        "                             written as the build's \"mirrors\" (when not given, a build\n"
        "                             that is updated keeps its mirrors and a new one has none)\n"
        "  --launcher                 the package is the launcher itself (\"launcher\" entry; no\n"
        "                             --install-automatically or --logo-link)\n"
        "  --hints-url URL            \"hints\" of the document (empty text removes it)\n"
        "  --funnel-url URL           \"funnel\" of the document\n"
        "  --survey-url URL           \"hardwaresurvey\" of the document\n"
        "\n"
        "Signing (make a key with 'quenmar-pack keygen'):\n"
        "  --sign-key FILE            sign the written main configuration with this Ed25519\n"
        "                             private key (PREFIX.key); the detached signature is written\n"
        "                             next to it as MAIN.sig, after the document\n"
        "  --serial N                 its \"serial\" (default: the previous serial + 1, 1 for the first,\n"
        "                             when signing or when the document already has one; launchers\n"
        "                             refuse a serial lower than one they accepted)\n"
        "  --expires-in DAYS          its \"expires\": launchers refuse it DAYS days from now (an\n"
        "                             existing \"expires\" is kept when this is not given)\n"
        "Every build entry written carries \"sha256\" and \"assetssha256\", the SHA-256 of its package\n"
        "and asset documents, so one signature covers every byte a player installs. A signed main\n"
        "configuration (one with MAIN.sig) is only rewritten with --sign-key: an unsigned write is\n"
        "refused before anything is written, as it would leave a signature that no longer matches.\n"
        "Delete MAIN.sig to stop signing a document.\n");
}

bool TMainConfigOptions::isLauncher(const QCommandLineParser& parser)
{
    return parser.isSet(QStringLiteral("launcher"));
}

void TMainConfigOptions::check(const QCommandLineParser& parser)
{
    checkLauncherOptions(parser);
    const QString mainPath = parser.value(QStringLiteral("main-config"));
    for (const char* option : {"sign-key", "serial", "expires-in", "mirror"}) {
        if (parser.isSet(QLatin1String(option)) && mainPath.isEmpty())
            throw TCommandError(QStringLiteral("--%1 needs --main-config FILE").arg(QLatin1String(option)));
    }
    if (mainPath.isEmpty())
        return;
    // Reading the present document refuses one that isn't JSON or has a broken serial up front.
    packbuilder::TMainConfigurationWriter(mainPath).serial();
    if (parser.isSet(QStringLiteral("sign-key")))
        packbuilder::TSigningKey::fromPemFile(parser.value(QStringLiteral("sign-key")));
    else
        packbuilder::TMainConfigurationWriter::checkUnsignedWrite(mainPath);
    mirrorUrls(parser);
    if (parser.isSet(QStringLiteral("serial")))
        parseCount(parser, "serial", 0);
    if (parser.isSet(QStringLiteral("expires-in")))
        parseCount(parser, "expires-in", 1);
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
                               const QString& packageFileName, const QString& assetFileName, const QString& defaultName,
                               QTextStream& err)
{
    check(parser);
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
    entry.packageSha256 = packbuilder::TMainConfigurationWriter::documentPin(packagePath);
    if (QFileInfo(assetPath).isFile())
        entry.assetsSha256 = packbuilder::TMainConfigurationWriter::documentPin(assetPath);
    if (parser.isSet(QStringLiteral("os")))
        entry.operatingSystem = parser.value(QStringLiteral("os"));
    if (parser.isSet(QStringLiteral("architecture")))
        entry.architecture = parser.value(QStringLiteral("architecture"));
    entry.isLauncher = isLauncher(parser);
    entry.mirrors = mirrorUrls(parser);

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
    applyFreshness(parser, writer, err);
    if (!parser.isSet(QStringLiteral("sign-key"))) {
        writer.write();
        return;
    }
    const packbuilder::TSigningKey key =
        packbuilder::TSigningKey::fromPemFile(parser.value(QStringLiteral("sign-key")));
    warnAboutUnpinnedBuilds(writer, err);
    writer.write(&key);
}

} // namespace quenmarpack
