#include "TProgramProcesses.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTest>
#include <QtDebug>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

namespace testsupport {

namespace {

QString executableOf(const QString& pid)
{
    const QByteArray link = QStringLiteral("/proc/%1/exe").arg(pid).toLocal8Bit();
    char target[4096];
    const ssize_t length = ::readlink(link.constData(), target, sizeof(target) - 1);
    return length > 0 ? QString::fromLocal8Bit(target, static_cast<int>(length)) : QString();
}

} // namespace

TProgramProcesses::TProgramProcesses(const QString& directory)
    : m_directory(QFileInfo(directory).canonicalFilePath() + QLatin1Char('/'))
{}

TProgramProcesses::~TProgramProcesses()
{
    killAll();
}

QList<qint64> TProgramProcesses::running() const
{
    QList<qint64> found;
    const QStringList entries = QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& entry : entries) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        // A replaced executable shows as "<path> (deleted)", which still starts with the folder.
        if (isPid && pid != ::getpid() && executableOf(entry).startsWith(m_directory))
            found << pid;
    }
    return found;
}

QStringList TProgramProcesses::commandLine(qint64 pid)
{
    QFile file(QStringLiteral("/proc/%1/cmdline").arg(pid));
    if (!file.open(QIODevice::ReadOnly))
        return {};
    QStringList arguments;
    for (const QByteArray& argument : file.readAll().split('\0'))
        arguments << QString::fromLocal8Bit(argument);
    if (!arguments.isEmpty() && arguments.constLast().isEmpty())
        arguments.removeLast();
    return arguments;
}

void TProgramProcesses::killAll() const
{
    const bool allGone = QTest::qWaitFor(
        [this] {
            const QList<qint64> pids = running();
            for (const qint64 pid : pids)
                ::kill(static_cast<pid_t>(pid), SIGKILL);
            return pids.isEmpty();
        },
        10000);
    if (!allGone)
        qWarning() << "programs of the sandbox still run after SIGKILL:" << running();
}

} // namespace testsupport
