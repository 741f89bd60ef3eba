#pragma once

#include <QByteArray>
#include <QString>

namespace quenmarpack {

/// Whole-file input and output for the subcommands; failures throw TCommandError.
class TFileIo
{
public:
    static QByteArray read(const QString& path);
    /// Writes atomically: the target is replaced only when all bytes are on disk.
    static void write(const QString& path, const QByteArray& data);
    /// Creates a new file with exactly the permission bits Mode (never wider, whatever the umask)
    /// and writes Data; refuses an existing file. A failed write removes the file again.
    static void createNew(const QString& path, const QByteArray& data, unsigned mode);
};

} // namespace quenmarpack
