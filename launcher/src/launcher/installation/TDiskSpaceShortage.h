#pragma once

#include <QString>

namespace orvan::launcher {

/// A run that doesn't fit on the file system of its installation directory: what it needs, what
/// is free there, and the folder, with the texts that tell the player.
struct TDiskSpaceShortage
{
    quint64 neededBytes = 0;
    quint64 availableBytes = 0;
    /// The installation directory, as the player knows it.
    QString folder;

    /// Bytes in decimal megabytes below a gigabyte, else in decimal gigabytes, with one decimal:
    /// "512.0 MB", "2.5 GB".
    static QString sizeText(quint64 bytes);
    /// The log line of a refused run of Package.
    QString logText(const QString& packageName) const;
    /// The message box text of a refused run of Package.
    QString messageText(const QString& packageName) const;
};

} // namespace orvan::launcher
