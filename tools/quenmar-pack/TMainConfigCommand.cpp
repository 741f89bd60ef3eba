#include "TMainConfigCommand.h"

#include "TCommandError.h"
#include "TMainConfigOptions.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace quenmarpack {

QString TMainConfigCommand::name() const
{
    return QStringLiteral("main-config");
}

QString TMainConfigCommand::summary() const
{
    return QStringLiteral("add a built package to a main configuration document");
}

QString TMainConfigCommand::usage() const
{
    return QStringLiteral("Usage: quenmar-pack main-config FOLDER --main-config FILE [options]\n"
                          "\n"
                          "Adds the package that 'quenmar-pack build' published in FOLDER to the main\n"
                          "configuration document FILE, or updates its entry. Run it once per package to list\n"
                          "several packages in one document.\n"
                          "\n"
                          "  --package-file NAME        name of the package document in FOLDER (default package.json)\n"
                          "  --asset-file NAME          name of the asset document in FOLDER (default assets.json)\n"
                          "\n") +
           TMainConfigOptions::usage();
}

int TMainConfigCommand::run(const QStringList& arguments, QTextStream& out, QTextStream& err)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    TMainConfigOptions::addTo(parser);
    parser.addOptions(
        {{QStringLiteral("package-file"), QString(), QStringLiteral("name"), QStringLiteral("package.json")},
         {QStringLiteral("asset-file"), QString(), QStringLiteral("name"), QStringLiteral("assets.json")}});
    if (!parser.parse(QStringList{name()} + arguments))
        throw TCommandError(parser.errorText());
    if (parser.positionalArguments().size() != 1 || !parser.isSet(QStringLiteral("main-config"))) {
        err << usage();
        return 2;
    }
    const QString folder = parser.positionalArguments().first();
    const QString defaultName = QFileInfo(QDir::cleanPath(QFileInfo(folder).absoluteFilePath())).fileName();
    TMainConfigOptions::apply(parser, folder, parser.value(QStringLiteral("package-file")),
                              parser.value(QStringLiteral("asset-file")), defaultName, err);
    out << "main configuration: " << parser.value(QStringLiteral("main-config")) << '\n';
    return 0;
}

} // namespace quenmarpack
