#include "TPackage.h"

#include "JsonValueConversion.h"
#include "TPackageConfigurationReader.h"

#include <QJsonArray>
#include <QJsonObject>

namespace orvan::launcher {

TPackage::TPackage(int packageIndex, const QJsonObject& object, const QUrl& baseUrl)
    : m_packageIndex(packageIndex), m_name(object.value(QLatin1String("name")).toString()),
      m_directoryName(object.value(QLatin1String("directoryname")).toString())
{
    if (object.contains(QLatin1String("logolinktarget"))) {
        m_logoLinkTarget = QUrl(object.value(QLatin1String("logolinktarget")).toString(), QUrl::TolerantMode);
    }
    m_installAutomatically = jsonvalue::toBool(object.value(QLatin1String("installautomatically")), false);
    const QJsonValue builds = object.value(QLatin1String("builds"));
    if (builds.isArray()) {
        for (const QJsonValue& build : builds.toArray()) {
            m_builds.push_back(std::make_unique<TPackageBuild>(TPackageBuild::fromJson(build.toObject(), baseUrl)));
        }
    }
}

TPackage::~TPackage() = default;

bool TPackage::setLocalPackageStatus(ELocalPackageStatus status)
{
    if (status == m_localPackageStatus) {
        return false;
    }
    m_localPackageStatus = status;
    emit localPackageStatusChanged();
    return true;
}

TPackageBuild* TPackage::currentBuild() const
{
    return buildFor(TPackageBuild::runningOperatingSystem(), TPackageBuild::runningArchitecture());
}

TPackageBuild* TPackage::buildFor(EOperatingSystem operatingSystem, EArchitecture architecture) const
{
    for (const std::unique_ptr<TPackageBuild>& build : m_builds) {
        if (build->operatingSystem() == operatingSystem && build->architecture() == architecture) {
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
