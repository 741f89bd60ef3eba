#include "TBuildCommand.h"

#include "TCommandError.h"
#include "TCompressionLevelOption.h"
#include "TMainConfigOptions.h"

#include "packbuilder/TBuildOptions.h"
#include "packbuilder/TLauncherVersionProbe.h"
#include "packbuilder/TPackageBuilder.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTextStream>

namespace quenmarpack {

namespace {

quint64 parseSize(const QString& text)
{
    QString digits = text.trimmed();
    quint64 factor = 1;
    const QString upper = digits.toUpper();
    const struct
    {
        const char* suffix;
        quint64 factor;
    } units[] = {{"GIB", 1ull << 30}, {"MIB", 1ull << 20}, {"KIB", 1ull << 10},
                 {"G", 1ull << 30},   {"M", 1ull << 20},   {"K", 1ull << 10}};
    for (const auto& unit : units) {
        if (upper.endsWith(QLatin1String(unit.suffix))) {
            digits.chop(static_cast<int>(qstrlen(unit.suffix)));
            factor = unit.factor;
            break;
        }
    }
    bool ok = false;
    const quint64 value = digits.toULongLong(&ok);
    if (!ok || value > std::numeric_limits<quint64>::max() / factor)
        throw TCommandError(QStringLiteral("invalid size '%1'").arg(text));
    return value * factor;
}

int parseInRange(const QString& text, int minimum, int maximum)
{
    bool ok = false;
    const int count = text.toInt(&ok);
    if (!ok || count < minimum || count > maximum)
        throw TCommandError(
            QStringLiteral("invalid number '%1' (expected %2..%3)").arg(text).arg(minimum).arg(maximum));
    return count;
}

QJsonObject readDescription(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw TCommandError(QStringLiteral("cannot open '%1': %2").arg(path, file.errorString()));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        throw TCommandError(QStringLiteral("'%1' is not a JSON object").arg(path));
    return document.object();
}

void addBuildOptions(QCommandLineParser& parser)
{
    parser.addOptions({
        {QStringLiteral("version"), QString(), QStringLiteral("text")},
        {QStringLiteral("executable"), QString(), QStringLiteral("path")},
        {QStringLiteral("parameter"), QString(), QStringLiteral("argument")},
        {QStringLiteral("generation"), QString(), QStringLiteral("name")},
        {QStringLiteral("variant"), QString(), QStringLiteral("name")},
        {QStringLiteral("description"), QString(), QStringLiteral("file")},
        {QStringLiteral("executable-file"), QString(), QStringLiteral("path")},
        {QStringLiteral("no-executable-bits"), QString()},
        {QStringLiteral("chunk-threshold"), QString(), QStringLiteral("size")},
        {QStringLiteral("algorithm"), QString(), QStringLiteral("name")},
        {QStringLiteral("level"), QString(), QStringLiteral("n")},
        {QStringLiteral("assets"), QString(), QStringLiteral("folder")},
        {QStringLiteral("assets-version"), QString(), QStringLiteral("text")},
        {QStringLiteral("package-file"), QString(), QStringLiteral("name")},
        {QStringLiteral("asset-file"), QString(), QStringLiteral("name")},
        {QStringLiteral("verify-objects"), QString()},
        {QStringLiteral("prune"), QString()},
        {QStringLiteral("delta-history"), QString(), QStringLiteral("n")},
        {QStringLiteral("delta-level"), QString(), QStringLiteral("n")},
    });
    TMainConfigOptions::addTo(parser);
}

packbuilder::TBuildOptions buildOptions(const QCommandLineParser& parser)
{
    const QStringList positional = parser.positionalArguments();
    packbuilder::TBuildOptions options;
    options.sourceDirectory = positional.at(0);
    options.outputDirectory = positional.at(1);
    auto text = [&parser](const char* name) -> std::optional<QString> {
        if (!parser.isSet(QLatin1String(name)))
            return std::nullopt;
        return parser.value(QLatin1String(name));
    };
    options.version = text("version");
    options.executable = text("executable");
    options.generation = text("generation");
    options.variant = text("variant");
    options.assetsVersion = text("assets-version");
    if (parser.isSet(QStringLiteral("parameter")))
        options.parameters = parser.values(QStringLiteral("parameter"));
    // Options win over the description file given here, which wins over the source folder's own.
    if (parser.isSet(QStringLiteral("description")))
        options.applyDescription(readDescription(parser.value(QStringLiteral("description"))));
    options.executableFiles = parser.values(QStringLiteral("executable-file"));
    options.executableBitsFromSource = !parser.isSet(QStringLiteral("no-executable-bits"));
    if (parser.isSet(QStringLiteral("chunk-threshold")))
        options.chunkThreshold = parseSize(parser.value(QStringLiteral("chunk-threshold")));
    if (parser.isSet(QStringLiteral("algorithm")))
        options.algorithm = packbuilder::TBuildOptions::algorithmFromName(parser.value(QStringLiteral("algorithm")));
    if (parser.isSet(QStringLiteral("level")))
        options.level = TCompressionLevelOption::parse(parser.value(QStringLiteral("level")), options.algorithm);
    options.assetsSourceDirectory = parser.value(QStringLiteral("assets"));
    if (parser.isSet(QStringLiteral("package-file")))
        options.packageFileName = parser.value(QStringLiteral("package-file"));
    if (parser.isSet(QStringLiteral("asset-file")))
        options.assetFileName = parser.value(QStringLiteral("asset-file"));
    options.verifyExistingObjects = parser.isSet(QStringLiteral("verify-objects"));
    options.pruneObjects = parser.isSet(QStringLiteral("prune"));
    if (parser.isSet(QStringLiteral("delta-history")))
        options.deltaHistory = parseInRange(parser.value(QStringLiteral("delta-history")), 0, 1000);
    if (parser.isSet(QStringLiteral("delta-level")))
        options.deltaLevel = parseInRange(parser.value(QStringLiteral("delta-level")), 1, 19);
    return options;
}

/// A launcher bundle offers the version its program runs as, and starts that program.
void applyLauncherDefaults(packbuilder::TBuildOptions& options)
{
    options.applyDescriptionFileOfSource();
    if (!options.executable)
        options.executable = packbuilder::TLauncherVersionProbe::ProgramName;
    if (!options.version || options.version->isEmpty())
        options.version = packbuilder::TLauncherVersionProbe::versionOfBundle(options.sourceDirectory);
}

} // namespace

QString TBuildCommand::name() const
{
    return QStringLiteral("build");
}

QString TBuildCommand::summary() const
{
    return QStringLiteral("publish a folder as a package (objects and package document)");
}

QString TBuildCommand::usage() const
{
    return QStringLiteral("Usage: quenmar-pack build SOURCE OUT [options]\n"
                          "\n"
                          "Publishes every file below SOURCE as a package in OUT, a static tree that any HTTP\n"
                          "server or CDN can serve as it is:\n"
                          "  OUT/package.json           the package configuration document\n"
                          "  OUT/assets.json            the asset document (with --assets)\n"
                          "  OUT/objects/xx/<sha256>    one object per distinct content, named by the SHA-256 of\n"
                          "                             its content; every URL in the documents is relative to OUT\n"
                          "Files larger than the chunk threshold are cut into content-defined chunks (4 to 16 MiB),\n"
                          "smaller ones are one object each. Building into the same OUT again reuses every object\n"
                          "that is already there (it is not rewritten) and replaces the documents; objects and\n"
                          "documents are written under a temporary name and renamed, so an interrupted build never\n"
                          "leaves a partial file. Publish assets.json together with package.json: asset files name\n"
                          "chunks by their position after the package's chunks.\n"
                          "\n"
                          "With --launcher, SOURCE is a launcher bundle folder and the package becomes the main\n"
                          "configuration's \"launcher\" package, from which every installed launcher updates\n"
                          "itself when the version differs from its own. The version defaults to what\n"
                          "'SOURCE/quenmar-launcher --version' prints (a launcher without --version needs\n"
                          "--version TEXT, exactly the version text that launcher reports), the executable to\n"
                          "quenmar-launcher.\n"
                          "\n"
                          "Package document (unset values come from --description FILE, then from the file\n"
                          "SOURCE/.quenmar-package.json with the same keys, which is not published):\n"
                          "  --version TEXT             \"version\" (default: 12 hex digits of the SHA-256 of the\n"
                          "                             document, so every change of the content is a new version)\n"
                          "  --executable PATH          program to start, relative to SOURCE (default: the only\n"
                          "                             executable file at the top of SOURCE, if there is one)\n"
                          "  --parameter ARG            a command-line argument of the program (repeatable)\n"
                          "  --generation NAME          first or second\n"
                          "  --variant NAME             regular, preview, beta or test\n"
                          "  --description FILE         JSON object with \"version\", \"executable\", \"parameters\",\n"
                          "                             \"generation\", \"variant\", \"assetsversion\"\n"
                          "  --executable-file PATH     mark this file executable (repeatable)\n"
                          "  --no-executable-bits       don't take the executable flag from the files' modes\n"
                          "\n"
                          "Objects:\n"
                          "  --chunk-threshold SIZE     files above SIZE bytes (K, M, G suffixes) are chunked\n"
                          "                             (default 16M)\n"
                          "  --algorithm NAME           stored, deflate, lzip, lzma or zstd (default lzma); objects\n"
                          "                             that already exist keep the algorithm they were written with\n"
                          "  --level N                  compression level 0..9, 1..19 for zstd (default: 9 deflate,\n"
                          "                             19 zstd, 6 otherwise)\n"
                          "  --verify-objects           decode the existing objects and rewrite broken ones\n"
                          "  --prune                    delete objects and deltas that the new documents don't use\n"
                          "  --delta-history N          publish chunk deltas against the N versions OUT held before\n"
                          "                             (default 3; 0: none); OUT/<package>.history.json keeps\n"
                          "                             their chunk lists\n"
                          "  --delta-level N            zstd level of the deltas 1..19 (default 12)\n"
                          "\n"
                          "Assets:\n"
                          "  --assets FOLDER            publish FOLDER as the asset document\n"
                          "  --assets-version TEXT      its \"version\" (a number is written as a number; default: as\n"
                          "                             for --version, from the asset document's content)\n"
                          "  --package-file NAME        name of the package document (default package.json)\n"
                          "  --asset-file NAME          name of the asset document (default assets.json)\n"
                          "\n") +
           TMainConfigOptions::usage();
}

int TBuildCommand::run(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    addBuildOptions(parser);
    if (!parser.parse(QStringList{name()} + arguments))
        throw TCommandError(parser.errorText());
    if (parser.positionalArguments().size() != 2) {
        err << usage();
        return 2;
    }
    TMainConfigOptions::check(parser);
    packbuilder::TBuildOptions options = buildOptions(parser);
    if (TMainConfigOptions::isLauncher(parser))
        applyLauncherDefaults(options);
    const packbuilder::TBuildReport report = packbuilder::TPackageBuilder(options).build();
    out << "package document: " << report.packageDocumentPath << '\n';
    if (!report.assetDocumentPath.isEmpty())
        out << "asset document: " << report.assetDocumentPath << '\n';
    out << "files: " << report.fileCount << ", chunks: " << report.chunkCount
        << ", content bytes: " << report.contentBytes << '\n'
        << "objects written: " << report.objectsWritten << " (" << report.bytesWritten
        << " bytes), reused: " << report.objectsReused << ", pruned: " << report.objectsPruned << '\n';
    if (report.deltasWritten + report.deltasReused > 0)
        out << "deltas written: " << report.deltasWritten << " (" << report.deltaBytesWritten
            << " bytes), reused: " << report.deltasReused << '\n';

    if (parser.isSet(QStringLiteral("main-config"))) {
        const QString defaultName =
            QFileInfo(QDir::cleanPath(QFileInfo(options.outputDirectory).absoluteFilePath())).fileName();
        TMainConfigOptions::apply(parser, options.outputDirectory, options.packageFileName, options.assetFileName,
                                  defaultName, err);
        out << "main configuration: " << parser.value(QStringLiteral("main-config")) << '\n';
    }
    return 0;
}

} // namespace quenmarpack
