#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace testsupport {

struct TProcessResult
{
    /// -1 when the program did not start, crashed or ran out of time.
    int exitCode = -1;
    QByteArray standardOutput;
    QByteArray standardError;
};

/// Runs program to its end, feeding input on stdin; killed after timeoutMs. Blocks the calling
/// thread, so not for programs that talk to a server living on that thread.
TProcessResult runProcess(const QString& program, const QStringList& arguments, const QByteArray& input = {},
                          int timeoutMs = 120000);
/// The path of a tool built by the project (in the build's bin folder).
QString builtTool(const QString& name);

} // namespace testsupport
