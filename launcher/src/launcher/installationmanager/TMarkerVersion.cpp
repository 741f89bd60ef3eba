#include "TMarkerVersion.h"

#include "configuration/JsonValueConversion.h"
#include "configuration/TPackageConfigurationReader.h"
#include "configuration/VersionText.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace orvan::launcher {

namespace {

bool parse(const QByteArray& data, QJsonDocument& document)
{
    QJsonParseError error;
    document = QJsonDocument::fromJson(data, &error);
    return error.error == QJsonParseError::NoError;
}

qint64 recordCount(const QJsonDocument& document)
{
    const QJsonObject object = document.object();
    return object.value(QLatin1String("chunks")).toArray().size() +
           object.value(QLatin1String("files")).toArray().size();
}

} // namespace

QString TMarkerVersion::versionText(const QByteArray& packageDocument, const QByteArray& assetDocument)
{
    // The same messages as a full read of the pair, which this replaces.
    QJsonDocument package;
    if (!parse(packageDocument, package)) {
        qCritical() << "JSON package configuration file could not be parsed, using default package.";
        return orvan::launcher::versionText(QString(), QString());
    }
    QJsonDocument asset;
    if (!assetDocument.isEmpty() && !parse(assetDocument, asset)) {
        qCritical() << "JSON asset configuration file could not be parsed, using default package.";
        return orvan::launcher::versionText(QString(), QString());
    }
    const qint64 records = recordCount(package) + recordCount(asset);
    if (records > TPackageConfigurationReader::MaximumRecordCount) {
        qCritical().noquote().nospace() << "JSON package configuration lists " << records
                                        << " files and chunks, more than the "
                                        << TPackageConfigurationReader::MaximumRecordCount
                                        << " the launcher handles, using default package.";
        return orvan::launcher::versionText(QString(), QString());
    }
    const QString version = package.object().value(QLatin1String("version")).toString();
    const QString assetsVersion =
        asset.isObject() ? jsonvalue::toIntegerText(asset.object().value(QLatin1String("version"))) : QString();
    return orvan::launcher::versionText(version, assetsVersion);
}

} // namespace orvan::launcher
