#include "TDiskSpaceShortage.h"

#include <QDir>

namespace orvan::launcher {

namespace {

constexpr double BytesPerMegabyte = 1000000.0;
constexpr double BytesPerGigabyte = 1000000000.0;

} // namespace

QString TDiskSpaceShortage::sizeText(quint64 bytes)
{
    const auto value = static_cast<double>(bytes);
    // Compared after rounding, so that 999.96 MB reads "1.0 GB" rather than "1000.0 MB".
    if (value / BytesPerMegabyte >= 999.95)
        return QStringLiteral("%1 GB").arg(value / BytesPerGigabyte, 0, 'f', 1);
    return QStringLiteral("%1 MB").arg(value / BytesPerMegabyte, 0, 'f', 1);
}

QString TDiskSpaceShortage::logText(const QString& packageName) const
{
    return QStringLiteral("not enough disk space for %1 in %2: %3 bytes needed, %4 bytes free; nothing is downloaded")
        .arg(packageName, folder)
        .arg(neededBytes)
        .arg(availableBytes);
}

QString TDiskSpaceShortage::messageText(const QString& packageName) const
{
    return QStringLiteral("The installation of %1 failed.\n\nThere is not enough free disk space in\n%2\n\n"
                          "Needed: %3\nFree: %4\n\nFree up some space, then try again.")
        .arg(packageName, QDir::toNativeSeparators(folder), sizeText(neededBytes), sizeText(availableBytes));
}

} // namespace orvan::launcher
