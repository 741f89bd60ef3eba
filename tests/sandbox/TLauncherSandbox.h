#pragma once

#include <QByteArray>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <memory>

namespace testsupport {

/// A private copy of the launcher in a temporary folder with its own HOME, XDG folders and TMPDIR
/// (TMPDIR also separates the single-instance segment from other runs on the machine).
class TLauncherSandbox
{
public:
    struct TRunResult
    {
        int exitCode = -1;
        bool finished = false;
        QByteArray standardOutput;
        QByteArray standardError;
    };

    TLauncherSandbox();
    ~TLauncherSandbox();

    bool isValid() const { return m_valid; }
    QString programDirectory() const;
    QString launcherPath() const;
    /// The launcher's application data folder: XDG_DATA_HOME/Brelmor GmbH/Quenmar Online.
    QString applicationDataDirectory() const;
    QString logFilePath() const;
    QString packagesDirectory() const;
    QProcessEnvironment environment() const { return m_environment; }
    void setEnvironmentValue(const QString& name, const QString& value);

    /// Writes launchersettings.ini next to the copied launcher.
    bool writeSettings(const QByteArray& iniText);
    QByteArray readLog() const;

    /// Starts the launcher in the background; the sandbox owns the process.
    QProcess* start(const QStringList& arguments = {});
    /// Runs the launcher to its end (killed after `timeoutMs`).
    TRunResult run(const QStringList& arguments = {}, int timeoutMs = 60000);
    /// Waits until the log holds `text`; false after `timeoutMs`.
    bool waitForLog(const QString& text, int timeoutMs = 30000) const;

private:
    void prepareProcess(QProcess& process) const;

    QTemporaryDir m_root;
    bool m_valid = false;
    QProcessEnvironment m_environment;
    std::vector<std::unique_ptr<QProcess>> m_processes;
};

} // namespace testsupport
