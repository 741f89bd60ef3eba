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

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

TReplacementJournal::TReplacementJournal(const QDir& Directory) : m_journalPath(Directory.absoluteFilePath(journalName))
{}

QString TReplacementJournal::temporaryPathOf(const QString& Target)
{
    return Target + temporarySuffix;
}

QString TReplacementJournal::backupPathOf(const QString& Target)
{
    return Target + backupSuffix;
}

bool TReplacementJournal::flushToDisk(int Descriptor)
{
    return Descriptor >= 0 && ::fsync(Descriptor) == 0;
}

void TReplacementJournal::commit(const QStringList& Targets) const
{
    writeJournal(Targets);
    QStringList swapped;
    try {
        for (const QString& target : Targets) {
            swapIn(target);
            swapped << target;
        }
        for (const QString& target : Targets)
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

void TReplacementJournal::discard(const QStringList& Targets)
{
    for (const QString& target : Targets)
        QFile::remove(temporaryPathOf(target));
}

void TReplacementJournal::writeJournal(const QStringList& Targets) const
{
    // Written beside the journal and renamed: a journal is either whole or absent.
    shared::TFileSystemHelper().writeFileAtomically(m_journalPath, Targets.join(QLatin1Char('\n')).toUtf8() + '\n');
}

void TReplacementJournal::removeJournal() const
{
    QFile::remove(m_journalPath);
    syncFolderOf(m_journalPath);
}

void TReplacementJournal::swapIn(const QString& Target)
{
    const QString temporary = temporaryPathOf(Target);
    if (!QFileInfo(temporary).isSymLink() && !QFileInfo::exists(temporary))
        return;
    keepBackup(Target);
    if (::rename(QFile::encodeName(temporary).constData(), QFile::encodeName(Target).constData()) != 0)
        throw TFileIoError(Target, QStringLiteral("couldn't replace the file: ") + systemError());
}

void TReplacementJournal::keepBackup(const QString& Target)
{
    // A backup left by an earlier version must not pass for this one's.
    const QString backup = backupPathOf(Target);
    const QFileInfo existing(backup);
    if (existing.isDir() && !existing.isSymLink())
        QDir(backup).removeRecursively();
    else if (existing.exists() || existing.isSymLink())
        QFile::remove(backup);

    const QFileInfo targetInfo(Target);
    if (targetInfo.isDir() && !targetInfo.isSymLink()) {
        if (!QDir(Target).removeRecursively())
            throw TFileIoError(Target, QStringLiteral("couldn't remove the folder in the way"));
        return;
    }
    if (!targetInfo.isFile() || targetInfo.isSymLink())
        return;
    // A second name for the old version: the targetInfo path never stops holding it.
    const QByteArray from = QFile::encodeName(Target);
    const QByteArray to = QFile::encodeName(backup);
    if (::link(from.constData(), to.constData()) != 0 && !QFile::copy(Target, backup))
        throw TFileIoError(backup, QStringLiteral("couldn't keep the old version: ") + systemError());
}

void TReplacementJournal::undo(const QString& Target)
{
    const QString backup = backupPathOf(Target);
    const bool restored = QFileInfo::exists(backup) ? ::rename(QFile::encodeName(backup).constData(),
                                                               QFile::encodeName(Target).constData()) == 0
                                                    : QFile::remove(Target);
    if (!restored)
        qWarning() << "couldn't restore" << Target;
}

void TReplacementJournal::syncFolderOf(const QString& Path)
{
    // The renames are done; a folder that can't be synced leaves them as durable as the file system makes them.
    try {
        shared::TFileSystemHelper::syncFolderOf(Path);
    } catch (const std::runtime_error& Error) {
        qWarning() << "couldn't sync the folder of" << Path << ":" << Error.what();
    }
}

} // namespace orvan::launcher
