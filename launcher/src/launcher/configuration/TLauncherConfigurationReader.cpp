#include "TLauncherConfigurationReader.h"

#include "JsonValueConversion.h"
#include "TLauncherConfigurationException.h"
#include "TPackage.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <utility>

namespace orvan::launcher {

namespace {

QUrl readServiceUrl(const QJsonObject& root, QLatin1String key)
{
    return QUrl(root.value(key).toString(), QUrl::TolerantMode);
}

} // namespace

TLauncherConfigurationReader::TLauncherConfigurationReader(QByteArray document, QUrl baseUrl)
    : m_baseUrl(std::move(baseUrl)), m_document(std::move(document))
{
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(m_document, &error);
    if (error.error != QJsonParseError::NoError) {
        throw TLauncherConfigurationException(error.errorString());
    }
    read(json.object());
}

TLauncherConfigurationReader::~TLauncherConfigurationReader() = default;

void TLauncherConfigurationReader::read(const QJsonObject& root)
{
    const QJsonValue launcher = root.value(QLatin1String("launcher"));
    if (launcher.isObject()) {
        m_launcherPackage = std::make_shared<TPackage>(TPackage::LauncherPackageIndex, launcher.toObject(), m_baseUrl);
    }
    const QJsonValue packages = root.value(QLatin1String("packages"));
    if (packages.isArray()) {
        const QJsonArray array = packages.toArray();
        m_packages.reserve(static_cast<std::size_t>(array.size()));
        int index = 0;
        for (const QJsonValue& package : array) {
            m_packages.push_back(std::make_shared<TPackage>(index++, package.toObject(), m_baseUrl));
        }
    }
    m_hardwareSurveyUrl = readServiceUrl(root, QLatin1String("hardwaresurvey"));
    m_hintsUrl = readServiceUrl(root, QLatin1String("hints"));
    m_funnelUrl = readServiceUrl(root, QLatin1String("funnel"));
    m_preventDefaultAutostart = jsonvalue::toBool(root.value(QLatin1String("preventdefaultautostart")), false);
    m_showPackageNames = jsonvalue::toBool(root.value(QLatin1String("showpackagenames")), false);
}

} // namespace orvan::launcher
