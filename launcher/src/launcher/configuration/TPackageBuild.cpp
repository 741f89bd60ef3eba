#include "TPackageBuild.h"

#include "JsonValueConversion.h"
#include "TPackageConfigurationReader.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
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
    build.setMirrors(readMirrors(object.value(QLatin1String("mirrors"))));
    return build;
}

QList<QUrl> TPackageBuild::readMirrors(const QJsonValue& value)
{
    if (value.isUndefined())
        return {};
    if (!value.isArray()) {
        qWarning() << "\"mirrors\" of a build is not an array; ignored";
        return {};
    }
    QList<QUrl> mirrors;
    for (const QJsonValue& entry : value.toArray()) {
        QUrl url(entry.toString(), QUrl::StrictMode);
        const QString scheme = url.scheme().toLower();
        // A query or fragment would end up in the middle of every object URL below the base.
        if (!entry.isString() || !url.isValid() || url.host().isEmpty() || url.hasQuery() || url.hasFragment() ||
            (scheme != QLatin1String("http") && scheme != QLatin1String("https"))) {
            const QJsonDocument shown(QJsonArray{entry});
            qWarning().noquote() << "mirror" << QString::fromUtf8(shown.toJson(QJsonDocument::Compact))
                                 << "of a build is not an absolute http(s) base URL; ignored";
            continue;
        }
        // A base names a folder: "https://host/pub" holds its objects below "https://host/pub/".
        if (!url.path().endsWith(QLatin1Char('/')))
            url.setPath(url.path() + QLatin1Char('/'));
        mirrors.append(url);
    }
    return mirrors;
}

void TPackageBuild::setMirrors(QList<QUrl> mirrors)
{
    m_mirrors = std::move(mirrors);
}

QUrl TPackageBuild::location() const
{
    QUrl folder = m_url.adjusted(QUrl::RemoveFilename | QUrl::RemoveQuery | QUrl::RemoveFragment);
    if (!folder.path().endsWith(QLatin1Char('/')))
        folder.setPath(folder.path() + QLatin1Char('/'));
    return folder;
}

TLocationRule TPackageBuild::locationRule() const
{
    return TLocationRule(location(), m_mirrors);
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
