#pragma once

#include <QString>

namespace orvan::launcher {

class TPackageConfigurationReader;

/// "P<version> A<assets version>" of a package configuration, with "?" for an empty value. Two
/// installations are the same version exactly when their texts are equal.
QString versionText(const TPackageConfigurationReader& configuration);

} // namespace orvan::launcher
