#pragma once

#include <QList>
#include <QString>
#include <QStringList>

namespace testsupport {

/// The processes whose executable lies in one folder, found through /proc. A launcher that
/// restarts itself starts its successor detached, out of reach of the QProcess that started the
/// first one; this finds it, reads its command line and ends it. The destructor kills whatever
/// is still running from the folder, so a failing test leaves no launcher behind.
class TProgramProcesses
{
public:
    explicit TProgramProcesses(const QString& directory);
    ~TProgramProcesses();

    TProgramProcesses(const TProgramProcesses&) = delete;
    TProgramProcesses& operator=(const TProgramProcesses&) = delete;

    /// Running processes started from a file in the folder (also when that file was replaced).
    QList<qint64> running() const;
    static QStringList commandLine(qint64 pid);
    /// Sends SIGKILL to each process of the folder and waits until they are gone.
    void killAll() const;

private:
    QString m_directory;
};

} // namespace testsupport
