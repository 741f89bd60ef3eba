#pragma once

#include <QString>
#include <QStringList>

class QTextStream;

namespace quenmarpack {

/// One subcommand of the tool: its name, help texts and the code that runs it.
class TCommand
{
public:
    TCommand() = default;
    TCommand(const TCommand&) = delete;
    TCommand& operator=(const TCommand&) = delete;
    virtual ~TCommand();

    virtual QString name() const = 0;
    /// One line for the tool's overview.
    virtual QString summary() const = 0;
    /// The full help text of the subcommand.
    virtual QString usage() const = 0;
    /// Runs with the arguments after the subcommand's name; returns the process exit code.
    virtual int run(const QStringList& arguments, QTextStream& out, QTextStream& err) = 0;
};

} // namespace quenmarpack
