#include "TDiskSpaceCheck.h"

#include <QFileInfo>
#include <QStorageInfo>

#include <utility>

namespace orvan::launcher {

TDiskSpaceCheck::TDiskSpaceCheck() : m_freeSpace(&TDiskSpaceCheck::storageBytesAvailable) {}

void TDiskSpaceCheck::setFreeSpaceProvider(TFreeSpaceProvider provider)
{
    m_freeSpace = std::move(provider);
}

std::optional<TDiskSpaceShortage> TDiskSpaceCheck::shortage(quint64 neededBytes, const QDir& directory,
                                                            quint64 heldBytes) const
{
    if (neededBytes == 0)
        return std::nullopt;
    const std::optional<quint64> measured = m_freeSpace(nearestExistingFolder(directory.absolutePath()));
    if (!measured)
        return std::nullopt;
    const quint64 available = *measured + heldBytes;
    if (available >= neededBytes)
        return std::nullopt;
    return TDiskSpaceShortage{neededBytes, available, directory.absolutePath()};
}

std::optional<quint64> TDiskSpaceCheck::storageBytesAvailable(const QString& folder)
{
    const QStorageInfo storage(folder);
    if (!storage.isValid() || !storage.isReady() || storage.bytesAvailable() < 0)
        return std::nullopt;
    return static_cast<quint64>(storage.bytesAvailable());
}

QString TDiskSpaceCheck::nearestExistingFolder(const QString& path)
{
    QString folder = QDir::cleanPath(QFileInfo(path).absoluteFilePath());
    while (!QFileInfo(folder).isDir()) {
        const QString parent = QFileInfo(folder).path();
        if (parent == folder)
            break;
        folder = parent;
    }
    return folder;
}

} // namespace orvan::launcher
