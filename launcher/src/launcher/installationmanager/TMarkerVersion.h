#pragma once

#include <QByteArray>
#include <QString>

namespace orvan::launcher {

/// The version text of a package and asset document pair, read the way TPackageConfigurationReader
/// reads it (an unparsable or oversized pair has empty versions) without building the file and
/// chunk records: all a status check needs from a marker of tens of thousands of files.
class TMarkerVersion
{
public:
    static QString versionText(const QByteArray& packageDocument, const QByteArray& assetDocument);
};

} // namespace orvan::launcher
