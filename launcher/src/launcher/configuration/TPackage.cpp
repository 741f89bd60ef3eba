#include "TPackage.h"

#include "JsonValueConversion.h"
#include "TPackageConfigurationReader.h"

#include <QJsonArray>
#include <QJsonObject>

namespace orvan::launcher {

TPackage::TPackage(int PackageIndex, const QJsonObject& Object, const QUrl& BaseUrl)
    : m_packageIndex(PackageIndex), m_name(Object.value(QLatin1String("name")).toString()),
      m_directoryName(Object.value(QLatin1String("directoryname")).toString())
{
    if (Object.contains(QLatin1String("logolinktarget"))) {
        m_logoLinkTarget = QUrl(Object.value(QLatin1String("logolinktarget")).toString(), QUrl::TolerantMode);
    }
    m_installAutomatically = jsonvalue::toBool(Object.value(QLatin1String("installautomatically")), false);
    const QJsonValue builds = Object.value(QLatin1String("builds"));
    if (builds.isArray()) {
        for (const QJsonValue& build : builds.toArray()) {
            m_builds.push_back(std::make_unique<TPackageBuild>(TPackageBuild::fromJson(build.toObject(), BaseUrl)));
        }
    }
}

TPackage::~TPackage() = default;

bool TPackage::setLocalPackageStatus(ELocalPackageStatus Status)
{
    if (Status == m_localPackageStatus) {
        return false;
    }
    m_localPackageStatus = Status;
    emit localPackageStatusChanged();
    return true;
}

TPackageBuild* TPackage::currentBuild() const
{
    return buildFor(TPackageBuild::runningOperatingSystem(), TPackageBuild::runningArchitecture());
}

TPackageBuild* TPackage::buildFor(EOperatingSystem OperatingSystem, EArchitecture Architecture) const
{
    for (const std::unique_ptr<TPackageBuild>& build : m_builds) {
        if (build->operatingSystem() == OperatingSystem && build->architecture() == Architecture) {
            return build.get();
        }
    }
    return nullptr;
}

std::shared_ptr<const TPackageConfigurationReader> TPackage::currentConfiguration() const
{
    const TPackageBuild* build = currentBuild();
    return build ? build->configuration() : nullptr;
}

} // namespace orvan::launcher
