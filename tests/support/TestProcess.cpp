#include "support/TestProcess.h"

#include <QProcess>

namespace testsupport {

TProcessResult runProcess(const QString& program, const QStringList& arguments, const QByteArray& input, int timeoutMs)
{
    TProcessResult result;
    QProcess process;
    process.start(program, arguments);
    if (!process.waitForStarted())
        return result;
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(timeoutMs)) {
        process.kill();
        process.waitForFinished();
        return result;
    }
    result.standardOutput = process.readAllStandardOutput();
    result.standardError = process.readAllStandardError();
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    return result;
}

QString builtTool(const QString& name)
{
    return QStringLiteral(QUENMAR_BINARY_DIR "/bin/") + name;
}

} // namespace testsupport
