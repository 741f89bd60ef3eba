#include "TPackageBuild.h"

#include "JsonValueConversion.h"
#include "TPackageConfigurationReader.h"

#include <QJsonObject>
#include <QSysInfo>

#include <utility>

namespace orvan::launcher {

TPackageBuild::TPackageBuild(EOperatingSystem operatingSystem, EArchitecture architecture, QUrl url, QUrl assetsUrl)
    : m_operatingSystem(operatingSystem), m_architecture(architecture), m_url(std::move(url)),
      m_assetsUrl(std::move(assetsUrl))
{}

TPackageBuild TPackageBuild::fromJson(const QJsonObject& object, const QUrl& baseUrl)
{
    const EOperatingSystem operatingSystem = operatingSystemFromText(object.value(QLatin1String("os")).toString());
    const EArchitecture architecture = architectureFromText(object.value(QLatin1String("architecture")).toString());
    // A missing "url" resolves to the base itself.
    QUrl url = resolveConfigurationUrl(baseUrl, object.value(QLatin1String("url")).toString());
    // An empty or non-text "assetsurl" means no asset document, like an absent key; resolving it
    // would point the asset request at the base directory.
    QUrl assetsUrl;
    const QString assetsText = object.value(QLatin1String("assetsurl")).toString();
    if (!assetsText.isEmpty()) {
        assetsUrl = resolveConfigurationUrl(baseUrl, assetsText);
    }
    TPackageBuild build(operatingSystem, architecture, std::move(url), std::move(assetsUrl));
    build.setPins(object.value(QLatin1String("sha256")).toString(),
                  object.value(QLatin1String("assetssha256")).toString());
    return build;
}

void TPackageBuild::setPins(QString sha256, QString assetsSha256)
{
    m_sha256 = std::move(sha256);
    m_assetsSha256 = std::move(assetsSha256);
}

void TPackageBuild::setConfiguration(std::shared_ptr<const TPackageConfigurationReader> configuration)
{
    m_configuration = std::move(configuration);
}

EOperatingSystem TPackageBuild::operatingSystemFromText(const QString& text)
{
    if (text.compare(QLatin1String("windows"), Qt::CaseInsensitive) == 0) {
        return EOperatingSystem::Windows;
    }
    if (text.compare(QLatin1String("macos"), Qt::CaseInsensitive) == 0) {
        return EOperatingSystem::MacOS;
    }
    if (text.compare(QLatin1String("linux"), Qt::CaseInsensitive) == 0) {
        return EOperatingSystem::Linux;
    }
    return EOperatingSystem::Unknown;
}

EArchitecture TPackageBuild::architectureFromText(const QString& text)
{
    if (text.compare(QLatin1String("i386"), Qt::CaseInsensitive) == 0) {
        return EArchitecture::X86;
    }
    if (text.compare(QLatin1String("x86_64"), Qt::CaseInsensitive) == 0) {
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
