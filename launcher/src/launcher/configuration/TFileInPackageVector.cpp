#include "TFileInPackageVector.h"

#include <algorithm>
#include <utility>

namespace orvan::launcher {

namespace {

bool localFileLess(const TFileInPackage& File, const QString& LocalFile)
{
    return File.localFile < LocalFile;
}

} // namespace

TFileInPackageVector::const_iterator TFileInPackageVector::find(const QString& LocalFile) const
{
    const auto position = std::lower_bound(begin(), end(), LocalFile, localFileLess);
    return (position != end() && position->localFile == LocalFile) ? position : end();
}

TFileInPackageVector::iterator TFileInPackageVector::find(const QString& LocalFile)
{
    return begin() + (std::as_const(*this).find(LocalFile) - cbegin());
}

void TFileInPackageVector::sortByLocalFile()
{
    std::stable_sort(begin(), end(), [](const TFileInPackage& Left, const TFileInPackage& Right) {
        return Left.localFile < Right.localFile;
    });
}

} // namespace orvan::launcher
