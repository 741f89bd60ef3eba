#pragma once

#include <QMetaType>

namespace orvan::launcher {

/// Why an installation failed; 0 while nothing failed.
enum class EPackageDownloaderError : int
{
    None = 0,
    /// A chunk could not be downloaded, verified, decompressed or written, or the package data
    /// offers no usable source for a file.
    DownloadFailed = 1,
    SavingFailed = 2,
    VerificationFailed = 3,
    /// The run would not fit on the file system of the installation directory; nothing was downloaded.
    NotEnoughDiskSpace = 4
};

} // namespace orvan::launcher

Q_DECLARE_METATYPE(orvan::launcher::EPackageDownloaderError)
