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
    return QStringLiteral("P%1 A%2").arg(orQuestionMark(configuration.version()),
                                         orQuestionMark(configuration.assetsVersion()));
}

} // namespace orvan::launcher
