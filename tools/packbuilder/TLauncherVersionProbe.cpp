#include "TLauncherVersionProbe.h"

#include "TPackBuildError.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRegularExpression>
#include <QTemporaryDir>

namespace packbuilder {

const QString TLauncherVersionProbe::ProgramName = QStringLiteral("quenmar-launcher");

namespace {

QProcessEnvironment sandboxEnvironment(const QString& home)
{
    // A launcher too old to know --version starts up instead: it must find no player's state,
    // show no window and never wait for an answer.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("HOME"), home);
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"})
        environment.insert(QLatin1String(name), QDir(home).filePath(QLatin1String(name)));
    environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    environment.insert(QStringLiteral("QUENMAR_NONINTERACTIVE"), QStringLiteral("1"));
    return environment;
}

} // namespace

QString TLauncherVersionProbe::parseAnswer(const QByteArray& output)
{
    static const QRegularExpression answer(QStringLiteral("^quenmar-launcher (\\S+)\\n?$"));
    const QRegularExpressionMatch match = answer.match(QString::fromUtf8(output));
    return match.hasMatch() ? match.captured(1) : QString();
}

QString TLauncherVersionProbe::versionOfBundle(const QString& bundleFolder, int timeoutMs)
{
    const QString program = QDir(bundleFolder).absoluteFilePath(ProgramName);
    if (!QFileInfo(program).isExecutable())
        throw TPackBuildError(
            QStringLiteral("'%1' is not a launcher bundle: it has no program '%2'").arg(bundleFolder, ProgramName));
    const QTemporaryDir home;
    if (!home.isValid())
        throw TPackBuildError(QStringLiteral("cannot create a temporary folder: %1").arg(home.errorString()));
    for (const char* name : {"XDG_DATA_HOME", "XDG_CONFIG_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"})
        QDir(home.path()).mkpath(QLatin1String(name));
    QFile::setPermissions(QDir(home.path()).filePath(QStringLiteral("XDG_RUNTIME_DIR")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);

    QProcess process;
    process.setProcessEnvironment(sandboxEnvironment(home.path()));
    process.setWorkingDirectory(home.path());
    process.setStandardInputFile(QProcess::nullDevice());
    process.start(program, {QStringLiteral("--version")});
    const bool finished = process.waitForFinished(timeoutMs);
    if (!finished) {
        process.kill();
        process.waitForFinished();
    }
    const QString version = finished && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0
                                ? parseAnswer(process.readAllStandardOutput())
                                : QString();
    if (version.isEmpty())
        throw TPackBuildError(QStringLiteral("'%1 --version' did not answer \"%2 <version>\"; give the launcher's "
                                             "version with --version TEXT")
                                  .arg(program, ProgramName));
    return version;
}

} // namespace packbuilder
