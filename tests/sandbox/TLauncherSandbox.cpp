#include "TLauncherSandbox.h"

#include "support/TestFiles.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTimer>
#include <QtTest>

#include <stdexcept>

namespace testsupport {

namespace {

const char* const folders[] = {"home", "data", "config", "cache", "runtime", "tmp", "program"};

} // namespace

TLauncherSandbox::TLauncherSandbox()
{
    if (!m_root.isValid())
        return;
    for (const char* folder : folders) {
        if (!QDir(m_root.path()).mkpath(QString::fromLatin1(folder)))
            return;
    }
    QFile::setPermissions(m_root.filePath(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    const QString binary = QString::fromUtf8(QUENMAR_LAUNCHER_BINARY);
    if (!QFile::copy(binary, launcherPath()))
        return;
    const QString catalogue = QFileInfo(binary).absolutePath() + QStringLiteral("/launcher.en.qm");
    if (QFile::exists(catalogue))
        QFile::copy(catalogue, programDirectory() + QStringLiteral("/launcher.en.qm"));

    m_environment = QProcessEnvironment::systemEnvironment();
    m_environment.insert(QStringLiteral("HOME"), m_root.filePath(QStringLiteral("home")));
    m_environment.insert(QStringLiteral("XDG_DATA_HOME"), m_root.filePath(QStringLiteral("data")));
    m_environment.insert(QStringLiteral("XDG_CONFIG_HOME"), m_root.filePath(QStringLiteral("config")));
    m_environment.insert(QStringLiteral("XDG_CACHE_HOME"), m_root.filePath(QStringLiteral("cache")));
    m_environment.insert(QStringLiteral("XDG_RUNTIME_DIR"), m_root.filePath(QStringLiteral("runtime")));
    m_environment.insert(QStringLiteral("TMPDIR"), m_root.filePath(QStringLiteral("tmp")));
    m_environment.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_environment.insert(QStringLiteral("QUENMAR_NONINTERACTIVE"), QStringLiteral("1"));
    m_valid = true;
}

TLauncherSandbox::~TLauncherSandbox()
{
    for (auto& process : m_processes) {
        if (process->state() != QProcess::NotRunning) {
            process->kill();
            process->waitForFinished(5000);
        }
    }
}

QString TLauncherSandbox::programDirectory() const
{
    return m_root.filePath(QStringLiteral("program"));
}

QString TLauncherSandbox::launcherPath() const
{
    return programDirectory() + QStringLiteral("/quenmar-launcher");
}

QString TLauncherSandbox::applicationDataDirectory() const
{
    return m_root.filePath(QStringLiteral("data/Brelmor GmbH/Quenmar Online"));
}

QString TLauncherSandbox::logFilePath() const
{
    return applicationDataDirectory() + QStringLiteral("/quenmar-launcher.log");
}

QString TLauncherSandbox::packagesDirectory() const
{
    return applicationDataDirectory() + QStringLiteral("/packages");
}

void TLauncherSandbox::setEnvironmentValue(const QString& name, const QString& value)
{
    m_environment.insert(name, value);
}

bool TLauncherSandbox::writeSettings(const QByteArray& iniText)
{
    try {
        writeFile(programDirectory() + QStringLiteral("/launchersettings.ini"), iniText);
    } catch (const std::runtime_error& error) {
        qWarning("%s", error.what());
        return false;
    }
    return true;
}

QByteArray TLauncherSandbox::readLog() const
{
    return readFile(logFilePath());
}

void TLauncherSandbox::prepareProcess(QProcess& process) const
{
    process.setProgram(launcherPath());
    process.setProcessEnvironment(m_environment);
    process.setWorkingDirectory(programDirectory());
}

QProcess* TLauncherSandbox::start(const QStringList& arguments)
{
    auto process = std::make_unique<QProcess>();
    prepareProcess(*process);
    process->setArguments(arguments);
    process->start();
    process->waitForStarted(10000);
    m_processes.push_back(std::move(process));
    return m_processes.back().get();
}

TLauncherSandbox::TRunResult TLauncherSandbox::run(const QStringList& arguments, int timeoutMs)
{
    QProcess process;
    prepareProcess(process);
    process.setArguments(arguments);
    // Wait with a running event loop: an in-process test server must keep answering meanwhile.
    QEventLoop loop;
    QTimer timeout;
    timeout.setSingleShot(true);
    QObject::connect(&timeout, &QTimer::timeout, &loop, &QEventLoop::quit);
    QObject::connect(&process, qOverload<int, QProcess::ExitStatus>(&QProcess::finished), &loop, &QEventLoop::quit);
    QObject::connect(&process, &QProcess::errorOccurred, &loop, [&loop](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            loop.quit();
    });
    process.start();
    timeout.start(timeoutMs);
    if (process.state() != QProcess::NotRunning)
        loop.exec();
    TRunResult result;
    result.finished = process.state() == QProcess::NotRunning;
    if (!result.finished) {
        process.kill();
        process.waitForFinished(5000);
    }
    result.exitCode = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    result.standardOutput = process.readAllStandardOutput();
    result.standardError = process.readAllStandardError();
    return result;
}

bool TLauncherSandbox::waitForLog(const QString& text, int timeoutMs) const
{
    const QByteArray needle = text.toUtf8();
    return QTest::qWaitFor([&] { return readLog().contains(needle); }, timeoutMs);
}

} // namespace testsupport
