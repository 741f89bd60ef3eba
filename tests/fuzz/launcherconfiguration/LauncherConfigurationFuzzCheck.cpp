#include "LauncherConfigurationFuzzCheck.h"

#include "configuration/TLauncherConfigurationException.h"
#include "configuration/TLauncherConfigurationReader.h"
#include "configuration/TPackage.h"

#include <climits>

using namespace orvan::launcher;

namespace {

QString checkPackage(const TPackage& package, int expectedIndex)
{
    if (package.packageIndex() != expectedIndex) {
        return QStringLiteral("package index %1 where %2 was expected").arg(package.packageIndex()).arg(expectedIndex);
    }
    if (package.localPackageStatus() != ELocalPackageStatus::Unknown || package.isDefault() ||
        package.packageIsUpToDateFlag()) {
        return QStringLiteral("local state not cleared");
    }
    for (const auto& build : package.builds()) {
        const TPackageBuild* chosen = package.buildFor(build->operatingSystem(), build->architecture());
        if (!chosen || chosen->operatingSystem() != build->operatingSystem() ||
            chosen->architecture() != build->architecture()) {
            return QStringLiteral("a listed build is not found by its system and architecture");
        }
        if (build->configuration()) {
            return QStringLiteral("a fresh build already has a configuration");
        }
    }
    const TPackageBuild* current = package.currentBuild();
    if (current && (current->operatingSystem() != TPackageBuild::runningOperatingSystem() ||
                    current->architecture() != TPackageBuild::runningArchitecture())) {
        return QStringLiteral("the current build is for another system");
    }
    if (package.currentConfiguration()) {
        return QStringLiteral("a fresh package already has a current configuration");
    }
    return {};
}

} // namespace

QString checkLauncherConfigurationInput(const QByteArray& data)
{
    try {
        const TLauncherConfigurationReader reader(data, QUrl(QStringLiteral("https://config.example.com/launcher/")));
        if (reader.document() != data) {
            return QStringLiteral("the raw document was not kept");
        }
        if (reader.launcherPackage()) {
            const QString problem = checkPackage(*reader.launcherPackage(), INT_MAX);
            if (!problem.isEmpty()) {
                return problem;
            }
        }
        int index = 0;
        for (const auto& package : reader.packages()) {
            if (!package) {
                return QStringLiteral("null package");
            }
            const QString problem = checkPackage(*package, index++);
            if (!problem.isEmpty()) {
                return problem;
            }
        }
    } catch (const TLauncherConfigurationException& exception) {
        if (QByteArray(exception.what()).isEmpty()) {
            return QStringLiteral("parse error without a message");
        }
    }
    return {};
}
