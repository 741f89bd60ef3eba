#include "TFileInPackageVector.h"

#include <algorithm>
#include <utility>

namespace orvan::launcher {

namespace {

bool localFileLess(const TFileInPackage& file, const QString& localFile)
{
    return file.localFile < localFile;
}

} // namespace

TFileInPackageVector::const_iterator TFileInPackageVector::find(const QString& localFile) const
{
    const auto position = std::lower_bound(begin(), end(), localFile, localFileLess);
    return (position != end() && position->localFile == localFile) ? position : end();
}

TFileInPackageVector::iterator TFileInPackageVector::find(const QString& localFile)
{
    return begin() + (std::as_const(*this).find(localFile) - cbegin());
}

void TFileInPackageVector::sortByLocalFile()
{
    std::stable_sort(begin(), end(), [](const TFileInPackage& left, const TFileInPackage& right) {
        return left.localFile < right.localFile;
    });
}

} // namespace orvan::launcher
