#include "TBuildCommand.h"
#include "TChunkCommand.h"
#include "TCommand.h"
#include "TKeygenCommand.h"
#include "TMainConfigCommand.h"
#include "TPackCommand.h"
#include "TSignCommand.h"
#include "TUnpackCommand.h"

#include <QCoreApplication>
#include <QTextStream>

#include <cstdio>
#include <exception>
#include <memory>
#include <vector>

#include <malloc.h>

using quenmarpack::TCommand;

namespace {

// Each subcommand is one class; adding a command means adding it to this table.
std::vector<std::unique_ptr<TCommand>> makeCommands()
{
    std::vector<std::unique_ptr<TCommand>> commands;
    commands.push_back(std::make_unique<quenmarpack::TPackCommand>());
    commands.push_back(std::make_unique<quenmarpack::TUnpackCommand>());
    commands.push_back(std::make_unique<quenmarpack::TChunkCommand>());
    commands.push_back(std::make_unique<quenmarpack::TBuildCommand>());
    commands.push_back(std::make_unique<quenmarpack::TMainConfigCommand>());
    commands.push_back(std::make_unique<quenmarpack::TKeygenCommand>());
    commands.push_back(std::make_unique<quenmarpack::TSignCommand>());
    return commands;
}

void printOverview(const std::vector<std::unique_ptr<TCommand>>& commands, QTextStream& stream)
{
    stream << "Usage: quenmar-pack COMMAND [ARGUMENTS]\n\nCommands:\n";
    for (const auto& command : commands)
        stream << "  " << command->name().leftJustified(13) << command->summary() << '\n';
    stream << "\nRun 'quenmar-pack COMMAND --help' for the arguments of a command.\n";
}

bool isHelp(const QString& argument)
{
    return argument == QLatin1String("--help") || argument == QLatin1String("-h") || argument == QLatin1String("help");
}

} // namespace

int main(int argc, char* argv[])
{
    // Every object compressed allocates and frees an encoder of a few hundred KiB. Keeping freed
    // memory in the process, instead of handing it back and faulting in fresh zeroed pages for
    // the next object, saves most of the kernel time of publishing thousands of small files.
    mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
    mallopt(M_TRIM_THRESHOLD, 256 * 1024 * 1024);
    QCoreApplication application(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    const auto commands = makeCommands();

    QStringList arguments = QCoreApplication::arguments().mid(1);
    if (arguments.isEmpty() || isHelp(arguments.first())) {
        printOverview(commands, arguments.isEmpty() ? err : out);
        return arguments.isEmpty() ? 2 : 0;
    }
    const QString name = arguments.takeFirst();
    for (const auto& command : commands) {
        if (command->name() != name)
            continue;
        if (!arguments.isEmpty() && isHelp(arguments.first())) {
            out << command->usage();
            return 0;
        }
        try {
            return command->run(arguments, out, err);
        } catch (const std::exception& error) {
            err << "quenmar-pack " << name << ": " << QString::fromUtf8(error.what()) << '\n';
            return 1;
        }
    }
    err << "quenmar-pack: unknown command '" << name << "'\n\n";
    printOverview(commands, err);
    return 2;
}
