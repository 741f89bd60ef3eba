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

QUrl readServiceUrl(const QJsonObject& Root, QLatin1String Key)
{
    return QUrl(Root.value(Key).toString(), QUrl::TolerantMode);
}

} // namespace

TLauncherConfigurationReader::TLauncherConfigurationReader(QByteArray Document, QUrl BaseUrl)
    : m_baseUrl(std::move(BaseUrl)), m_document(std::move(Document))
{
    QJsonParseError error;
    const QJsonDocument json = QJsonDocument::fromJson(m_document, &error);
    if (error.error != QJsonParseError::NoError) {
        throw TLauncherConfigurationException(error.errorString());
    }
    read(json.object());
}

TLauncherConfigurationReader::~TLauncherConfigurationReader() = default;

void TLauncherConfigurationReader::read(const QJsonObject& Root)
{
    const QJsonValue launcher = Root.value(QLatin1String("launcher"));
    if (launcher.isObject()) {
        m_launcherPackage = std::make_shared<TPackage>(TPackage::LauncherPackageIndex, launcher.toObject(), m_baseUrl);
    }
    const QJsonValue packages = Root.value(QLatin1String("packages"));
    if (packages.isArray()) {
        const QJsonArray array = packages.toArray();
        m_packages.reserve(static_cast<std::size_t>(array.size()));
        int index = 0;
        for (const QJsonValue& package : array) {
            m_packages.push_back(std::make_shared<TPackage>(index++, package.toObject(), m_baseUrl));
        }
    }
    m_hardwareSurveyUrl = readServiceUrl(Root, QLatin1String("hardwaresurvey"));
    m_hintsUrl = readServiceUrl(Root, QLatin1String("hints"));
    m_funnelUrl = readServiceUrl(Root, QLatin1String("funnel"));
    m_preventDefaultAutostart = jsonvalue::toBool(Root.value(QLatin1String("preventdefaultautostart")), false);
    m_showPackageNames = jsonvalue::toBool(Root.value(QLatin1String("showpackagenames")), false);
}

} // namespace orvan::launcher
