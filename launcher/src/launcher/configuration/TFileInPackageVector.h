#pragma once

#include "TFileInPackage.h"

#include <QString>

#include <vector>

namespace orvan::launcher {

/// The files of a package configuration, kept sorted by localFile so that they can be looked
/// up by name.
class TFileInPackageVector : public std::vector<TFileInPackage>
{
public:
    using std::vector<TFileInPackage>::vector;

    /// Binary search for localFile (the vector must be sorted); the entry or end().
    const_iterator find(const QString& localFile) const;
    iterator find(const QString& localFile);

    /// Sorts ascending by localFile in UTF-16 code unit order; equal names keep their order.
    void sortByLocalFile();
};

} // namespace orvan::launcher
