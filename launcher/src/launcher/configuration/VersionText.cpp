#include "VersionText.h"

#include "TPackageConfigurationReader.h"

namespace orvan::launcher {

namespace {

QString orQuestionMark(const QString& Text)
{
    return Text.isEmpty() ? QStringLiteral("?") : Text;
}

} // namespace

QString versionText(const TPackageConfigurationReader& Configuration)
{
    return QStringLiteral("P%1 A%2").arg(orQuestionMark(Configuration.version()),
                                         orQuestionMark(Configuration.assetsVersion()));
}

} // namespace orvan::launcher
