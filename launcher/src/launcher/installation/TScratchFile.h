#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

namespace orvan::launcher {

/// A read-write file without a name, on the file system of a folder: the system reclaims its space
/// when it is closed, however the process ends, so no kill leaves it behind. It is made with
/// O_TMPFILE where the file system has it, else under a reserved name that is unlinked at once.
/// Reads at an offset may run on several threads at once; the rest belongs to one thread at a time.
class TScratchFile
{
public:
    /// How the file gets its descriptor; tests choose the fallback that every file system has.
    enum class ECreation
    {
        Anonymous,
        NamedThenUnlinked
    };

    /// The name a fallback file carries for the moment between its creation and its unlink.
    static const QString fallbackPrefix;

    /// Makes the file in Directory, which must exist; isOpen() tells whether that worked.
    explicit TScratchFile(const QString& directory, ECreation creation = ECreation::Anonymous);
    TScratchFile(const TScratchFile&) = delete;
    TScratchFile& operator=(const TScratchFile&) = delete;

    bool isOpen() const { return m_file.isOpen(); }
    /// Why the file could not be made.
    const QString& errorString() const { return m_error; }
    /// The folder that holds the file, for messages: the file itself has no name.
    const QString& directory() const { return m_directory; }
    /// The open file (unbuffered), for work by one thread at a time.
    QFile& file() { return m_file; }
    /// Up to Length bytes at Offset, without moving file()'s position; any thread.
    QByteArray readAt(quint64 offset, quint64 length) const;

    /// Removes the fallback files that a process killed between making and unlinking one left in
    /// Directory.
    static void removeLeftovers(const QString& directory);

private:
    int createAnonymous();
    int createNamedThenUnlinked();

    QString m_directory;
    QString m_error;
    QFile m_file;
};

} // namespace orvan::launcher
