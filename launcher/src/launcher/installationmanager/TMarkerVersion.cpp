#include "TMarkerVersion.h"

#include "configuration/JsonValueConversion.h"
#include "configuration/TPackageConfigurationReader.h"
#include "configuration/VersionText.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace orvan::launcher {

QString TMarkerVersion::versionText(const QByteArray& packageDocument, const QByteArray& assetDocument)
{
    QJsonDocument package;
    QJsonDocument asset;
    if (!TPackageConfigurationReader::parseCheckedDocuments(packageDocument, assetDocument, package, asset))
        return orvan::launcher::versionText(QString(), QString());
    const QString version = package.object().value(QLatin1String("version")).toString();
    const QString assetsVersion =
        asset.isObject() ? jsonvalue::toIntegerText(asset.object().value(QLatin1String("version"))) : QString();
    return orvan::launcher::versionText(version, assetsVersion);
}

} // namespace orvan::launcher
