#include "TReplacementJournal.h"

#include "filesystemhelper/TFileIoError.h"
#include "filesystemhelper/TFileSystemHelper.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>
#include <unistd.h>

namespace orvan::launcher {

using shared::TFileIoError;

const QString TReplacementJournal::temporarySuffix = QStringLiteral(".new");
const QString TReplacementJournal::backupSuffix = QStringLiteral(".old");
const QString TReplacementJournal::journalName = QStringLiteral("selfupdate.journal");
const QString TReplacementJournal::retiredListName = QStringLiteral("selfupdate.retired");

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

TReplacementJournal::TReplacementJournal(const QDir& directory)
    : m_directory(directory), m_journalPath(directory.absoluteFilePath(journalName))
{}

QString TReplacementJournal::temporaryPathOf(const QString& target)
{
    return target + temporarySuffix;
}

QString TReplacementJournal::backupPathOf(const QString& target)
{
    return target + backupSuffix;
}

bool TReplacementJournal::flushToDisk(int descriptor)
{
    return descriptor >= 0 && ::fsync(descriptor) == 0;
}

void TReplacementJournal::commit(const QStringList& targets) const
{
    writeJournal(targets);
    QStringList swapped;
    try {
        for (const QString& target : targets) {
            swapIn(target);
            swapped << target;
        }
        for (const QString& target : targets)
            syncFolderOf(target);
    } catch (const std::runtime_error&) {
        for (auto target = swapped.crbegin(); target != swapped.crend(); ++target)
            undo(*target);
        removeJournal();
        throw;
    }
    removeJournal();
}

bool TReplacementJournal::resume() const
{
    QFile journal(m_journalPath);
    if (!journal.open(QIODevice::ReadOnly))
        return false;
    const QStringList targets = QString::fromUtf8(journal.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    journal.close();
    qInfo() << "finishing the interrupted replacement of" << targets.size() << "files";
    for (const QString& target : targets) {
        swapIn(target);
        syncFolderOf(target);
    }
    removeJournal();
    return true;
}

void TReplacementJournal::discard(const QStringList& targets)
{
    for (const QString& target : targets)
        QFile::remove(temporaryPathOf(target));
}

void TReplacementJournal::retire(const QStringList& names) const
{
    if (names.isEmpty())
        return;
    // Listed before the first move: whatever is moved aside is found by the next clean-up.
    QStringList listed = retiredFiles();
    for (const QString& name : names) {
        if (!listed.contains(name))
            listed << name;
    }
    shared::TFileSystemHelper().writeFileAtomically(m_directory.absoluteFilePath(retiredListName),
                                                    listed.join(QLatin1Char('\n')).toUtf8() + '\n');
    for (const QString& name : names) {
        const QString target = m_directory.absoluteFilePath(name);
        if (!QFileInfo(target).isSymLink() && !QFileInfo::exists(target))
            continue;
        const QString backup = backupPathOf(target);
        removeFileOrLink(backup);
        if (::rename(QFile::encodeName(target).constData(), QFile::encodeName(backup).constData()) != 0)
            throw TFileIoError(target, QStringLiteral("couldn't move the file aside: ") + systemError());
    }
    syncFolderOf(m_journalPath);
}

QStringList TReplacementJournal::retiredFiles() const
{
    QFile list(m_directory.absoluteFilePath(retiredListName));
    if (!list.open(QIODevice::ReadOnly))
        return {};
    return QString::fromUtf8(list.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

void TReplacementJournal::forgetRetired() const
{
    QFile::remove(m_directory.absoluteFilePath(retiredListName));
}

void TReplacementJournal::writeJournal(const QStringList& targets) const
{
    // Written beside the journal and renamed: a journal is either whole or absent.
    shared::TFileSystemHelper().writeFileAtomically(m_journalPath, targets.join(QLatin1Char('\n')).toUtf8() + '\n');
}

void TReplacementJournal::removeJournal() const
{
    QFile::remove(m_journalPath);
    syncFolderOf(m_journalPath);
}

void TReplacementJournal::swapIn(const QString& target)
{
    const QString temporary = temporaryPathOf(target);
    if (!QFileInfo(temporary).isSymLink() && !QFileInfo::exists(temporary))
        return;
    keepBackup(target);
    if (::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(target).constData()) != 0)
        throw TFileIoError(target, QStringLiteral("couldn't replace the file: ") + systemError());
}

void TReplacementJournal::removeFileOrLink(const QString& path)
{
    const QFileInfo existing(path);
    if (existing.isDir() && !existing.isSymLink())
        throw TFileIoError(path, QStringLiteral("a folder is in the way"));
    if ((existing.exists() || existing.isSymLink()) && !QFile::remove(path))
        throw TFileIoError(path, QStringLiteral("couldn't remove the file: ") + systemError());
}

void TReplacementJournal::keepBackup(const QString& target)
{
    // A backup left by an earlier version must not pass for this one's.
    const QString backup = backupPathOf(target);
    removeFileOrLink(backup);

    const QFileInfo targetInfo(target);
    if (targetInfo.isDir() && !targetInfo.isSymLink())
        throw TFileIoError(target, QStringLiteral("a folder is in the way"));
    if (!targetInfo.isFile() || targetInfo.isSymLink())
        return;
    // A second name for the old version: the targetInfo path never stops holding it.
    const QByteArray from = QFile::encodeName(target);
    const QByteArray to = QFile::encodeName(backup);
    if (::link(from.constData(), to.constData()) != 0 && !QFile::copy(target, backup))
        throw TFileIoError(backup, QStringLiteral("couldn't keep the old version: ") + systemError());
}

void TReplacementJournal::undo(const QString& target)
{
    const QString backup = backupPathOf(target);
    const bool restored = QFileInfo::exists(backup) ? ::rename(QFile::encodeName(backup).constData(),
                                                               QFile::encodeName(target).constData()) == 0
                                                    : QFile::remove(target);
    if (!restored)
        qWarning() << "couldn't restore" << target;
}

void TReplacementJournal::syncFolderOf(const QString& path)
{
    // The renames are done; a folder that can't be synced leaves them as durable as the file system makes them.
    try {
        shared::TFileSystemHelper::syncFolderOf(path);
    } catch (const std::runtime_error& Error) {
        qWarning() << "couldn't sync the folder of" << path << ":" << Error.what();
    }
}

} // namespace orvan::launcher
