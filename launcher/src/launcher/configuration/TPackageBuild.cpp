#include "TPackageBuild.h"

#include "JsonValueConversion.h"
#include "TPackageConfigurationReader.h"

#include <QJsonObject>
#include <QSysInfo>

#include <utility>

namespace orvan::launcher {

TPackageBuild::TPackageBuild(EOperatingSystem OperatingSystem, EArchitecture Architecture, QUrl Url, QUrl AssetsUrl)
    : m_operatingSystem(OperatingSystem), m_architecture(Architecture), m_url(std::move(Url)),
      m_assetsUrl(std::move(AssetsUrl))
{}

TPackageBuild TPackageBuild::fromJson(const QJsonObject& Object, const QUrl& BaseUrl)
{
    const EOperatingSystem operatingSystem = operatingSystemFromText(Object.value(QLatin1String("os")).toString());
    const EArchitecture architecture = architectureFromText(Object.value(QLatin1String("architecture")).toString());
    // A missing "url" resolves to the base itself.
    QUrl url = resolveConfigurationUrl(BaseUrl, Object.value(QLatin1String("url")).toString());
    // An empty or non-text "assetsurl" means no asset document, like an absent key; resolving it
    // would point the asset request at the base directory.
    QUrl assetsUrl;
    const QString assetsText = Object.value(QLatin1String("assetsurl")).toString();
    if (!assetsText.isEmpty()) {
        assetsUrl = resolveConfigurationUrl(BaseUrl, assetsText);
    }
    return TPackageBuild(operatingSystem, architecture, std::move(url), std::move(assetsUrl));
}

void TPackageBuild::setConfiguration(std::shared_ptr<const TPackageConfigurationReader> Configuration)
{
    m_configuration = std::move(Configuration);
}

EOperatingSystem TPackageBuild::operatingSystemFromText(const QString& Text)
{
    if (Text.compare(QLatin1String("windows"), Qt::CaseInsensitive) == 0) {
        return EOperatingSystem::Windows;
    }
    if (Text.compare(QLatin1String("macos"), Qt::CaseInsensitive) == 0) {
        return EOperatingSystem::MacOS;
    }
    if (Text.compare(QLatin1String("linux"), Qt::CaseInsensitive) == 0) {
        return EOperatingSystem::Linux;
    }
    return EOperatingSystem::Unknown;
}

EArchitecture TPackageBuild::architectureFromText(const QString& Text)
{
    if (Text.compare(QLatin1String("i386"), Qt::CaseInsensitive) == 0) {
        return EArchitecture::X86;
    }
    if (Text.compare(QLatin1String("x86_64"), Qt::CaseInsensitive) == 0) {
        return EArchitecture::X86_64;
    }
    return EArchitecture::Unknown;
}

EOperatingSystem TPackageBuild::runningOperatingSystem()
{
    const QString productType = QSysInfo::productType();
    if (productType == QLatin1String("windows")) {
        return EOperatingSystem::Windows;
    }
    if (productType == QLatin1String("osx") || productType == QLatin1String("darwin")) {
        return EOperatingSystem::MacOS;
    }
    return QSysInfo::kernelType() == QLatin1String("linux") ? EOperatingSystem::Linux : EOperatingSystem::Unknown;
}

EArchitecture TPackageBuild::runningArchitecture()
{
    const QString architecture = QSysInfo::buildCpuArchitecture();
    if (architecture == QLatin1String("i386")) {
        return EArchitecture::X86;
    }
    return architecture == QLatin1String("x86_64") ? EArchitecture::X86_64 : EArchitecture::Unknown;
}

} // namespace orvan::launcher
