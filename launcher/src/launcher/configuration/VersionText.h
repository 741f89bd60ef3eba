#pragma once

#include <QString>

namespace orvan::launcher {

class TPackageConfigurationReader;

/// "P<version> A<assets version>" of a package configuration, with "?" for an empty value. Two
/// installations are the same version exactly when their texts are equal.
QString versionText(const TPackageConfigurationReader& configuration);
/// The same text from the two versions themselves.
QString versionText(const QString& version, const QString& assetsVersion);

} // namespace orvan::launcher
