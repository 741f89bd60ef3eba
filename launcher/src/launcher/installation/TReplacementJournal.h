#pragma once

#include <QDir>
#include <QString>
#include <QStringList>

namespace orvan::launcher {

/// Swaps files that were assembled beside their targets (under the target's name followed by
/// ".new") into place, so that each target path always holds a complete old or new version: the
/// old version is first kept as a backup (the target's name followed by ".old"), then the new one
/// is renamed over the target in one step. A journal in the folder lists the targets before the
/// first swap, so that a later start can finish a set of swaps that was cut short. Files that the
/// new version no longer has are retired the same way: moved to their backup name and listed, so
/// that the next start deletes them.
class TReplacementJournal
{
public:
    static const QString temporarySuffix;
    static const QString backupSuffix;
    static const QString journalName;
    static const QString retiredListName;

    /// A journal kept in Directory.
    explicit TReplacementJournal(const QDir& directory);

    static QString temporaryPathOf(const QString& target);
    static QString backupPathOf(const QString& target);

    /// Swaps the new versions of Targets into place. On failure the swaps made so far are undone
    /// and std::runtime_error is thrown.
    void commit(const QStringList& targets) const;
    /// Finishes the swaps of a journal that an earlier run left behind; false when there is none.
    /// Throws std::runtime_error when a swap fails.
    bool resume() const;
    /// Removes the assembled new versions of Targets.
    static void discard(const QStringList& targets);
    /// Moves the files Names (relative to the directory) to their backup names; a program that
    /// still maps one keeps its bytes. Throws std::runtime_error when a move fails.
    void retire(const QStringList& names) const;
    /// The names that retire moved aside and that no clean-up has forgotten yet.
    QStringList retiredFiles() const;
    /// Forgets the retired names once their backups are gone.
    void forgetRetired() const;
    /// Flushes an open file's data to the disk; false on failure.
    static bool flushToDisk(int descriptor);
    /// Removes the file or link at Path, if there is one. A real folder there was not made by the
    /// launcher and stays: that throws the I/O error.
    static void removeFileOrLink(const QString& path);

private:
    void writeJournal(const QStringList& targets) const;
    void removeJournal() const;
    /// Keeps the old version as a backup and renames the new one over Target; nothing to do when
    /// the new version is no longer there (it was swapped in already).
    static void swapIn(const QString& target);
    static void keepBackup(const QString& target);
    static void undo(const QString& target);
    static void syncFolderOf(const QString& path);

    QDir m_directory;
    QString m_journalPath;
};

} // namespace orvan::launcher
