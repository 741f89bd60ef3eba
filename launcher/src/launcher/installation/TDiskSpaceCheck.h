#pragma once

#include "TDiskSpaceShortage.h"

#include <QDir>
#include <QString>

#include <functional>
#include <optional>

namespace orvan::launcher {

/// Compares the bytes a run needs with the space free to this user on the file system that holds
/// its installation directory. A directory that doesn't exist yet is measured at its nearest
/// existing parent. The free-space figure comes from a replaceable provider (QStorageInfo by
/// default), so that tests can choose it.
class TDiskSpaceCheck
{
public:
    /// The bytes available on the file system of an existing folder; empty when unknown.
    using TFreeSpaceProvider = std::function<std::optional<quint64>(const QString& folder)>;

    TDiskSpaceCheck();

    void setFreeSpaceProvider(TFreeSpaceProvider provider);
    /// The shortage when neededBytes don't fit on the file system of Directory; empty when they
    /// fit, and when the free space can't be told (the run then goes ahead as it would without
    /// the check). heldBytes of the needed bytes are on the disk already (the run's own scratch
    /// copies): they count as free, as they are once the run lets go of them.
    std::optional<TDiskSpaceShortage> shortage(quint64 neededBytes, const QDir& directory, quint64 heldBytes = 0) const;

    /// QStorageInfo's bytesAvailable of Folder; empty when the file system can't be read.
    static std::optional<quint64> storageBytesAvailable(const QString& folder);
    /// Path itself when it is an existing folder, else its nearest existing parent.
    static QString nearestExistingFolder(const QString& path);

private:
    TFreeSpaceProvider m_freeSpace;
};

} // namespace orvan::launcher
