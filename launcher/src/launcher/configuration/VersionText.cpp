#include "VersionText.h"

#include "TPackageConfigurationReader.h"

namespace orvan::launcher {

namespace {

QString orQuestionMark(const QString& text)
{
    return text.isEmpty() ? QStringLiteral("?") : text;
}

} // namespace

QString versionText(const TPackageConfigurationReader& configuration)
{
    return versionText(configuration.version(), configuration.assetsVersion());
}

QString versionText(const QString& version, const QString& assetsVersion)
{
    return QStringLiteral("P%1 A%2").arg(orQuestionMark(version), orQuestionMark(assetsVersion));
}

} // namespace orvan::launcher
