#pragma once

#include "TFileToDownload.h"

#include "configuration/TFileInPackageVector.h"

#include <QMetaType>

#include <vector>

namespace orvan::launcher {

/// What an installation has to change in the installation directory: the files to fetch (fully
/// or in part), the installed files that the offered configuration no longer lists, and the
/// offered files that the package data gives no usable source for.
struct TPackageDifference
{
    std::vector<TFileToDownload> filesToDownload;
    /// Entries of the installed configuration, in its order.
    TFileInPackageVector filesToDelete;
    /// Offered files that don't match on disk and can't be fetched: their chunk list points
    /// outside the chunk list or doesn't add up to the file size and they have no whole-file
    /// object, they have neither chunks nor a whole-file object, or their path names the
    /// installation directory itself. Any entry here makes the installation fail as a failed
    /// download; an installation must not be reported complete without these files.
    TFileInPackageVector filesWithInvalidPackageData;

    bool hasInvalidPackageData() const { return !filesWithInvalidPackageData.empty(); }
};

} // namespace orvan::launcher

Q_DECLARE_METATYPE(orvan::launcher::TPackageDifference)
