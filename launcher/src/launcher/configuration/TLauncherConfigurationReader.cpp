#include "TLauncherConfigurationReader.h"

#include "JsonValueConversion.h"
#include "TLauncherConfigurationException.h"
#include "TPackage.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cmath>
#include <utility>

namespace orvan::launcher {

namespace {

QUrl readServiceUrl(const QJsonObject& root, QLatin1String key)
{
    return QUrl(root.value(key).toString(), QUrl::TolerantMode);
}

qint64 readSerial(const QJsonValue& value)
{
    constexpr double largestExactInteger = 9007199254740992.0; // 2^53
    if (value.isUndefined())
        return 0;
    const double number = value.toDouble(-1.0);
    if (!value.isDouble() || number < 0.0 || number > largestExactInteger || std::floor(number) != number)
        return TLauncherConfigurationReader::MalformedSerial;
    return static_cast<qint64>(number);
}

std::optional<QDateTime> readExpiry(const QJsonValue& value)
{
    if (value.isUndefined())
        return std::nullopt;
    static const QRegularExpression utcTime(QRegularExpression::anchoredPattern(
        QStringLiteral("([0-9]{4})-([0-9]{2})-([0-9]{2})T([0-9]{2}):([0-9]{2}):([0-9]{2})Z")));
    const QRegularExpressionMatch match = utcTime.match(value.toString());
    if (!match.hasMatch())
        return QDateTime();
    const auto field = [&match](int index) { return match.capturedRef(index).toInt(); };
    // Built from its fields in UTC: parsed as a whole the text would be read as local time first,
    // and a time in the local clock's spring-forward gap would come out invalid.
    const QDate date(field(1), field(2), field(3));
    const QTime time(field(4), field(5), field(6));
    if (!date.isValid() || !time.isValid())
        return QDateTime();
    return QDateTime(date, time, Qt::UTC);
}

/// Checked before any package is built, so that a refused document costs no more than its text.
void refuseTooManyPackages(int count)
{
    if (count <= TLauncherConfigurationReader::MaximumPackageCount)
        return;
    const QString message =
        QStringLiteral("Main configuration lists %1 packages, more than the %2 the launcher handles")
            .arg(count)
            .arg(TLauncherConfigurationReader::MaximumPackageCount);
    qCritical().noquote() << message;
    throw TLauncherConfigurationException(message);
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
        refuseTooManyPackages(array.size());
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
    m_serial = readSerial(root.value(QLatin1String("serial")));
    m_hasSerial = root.contains(QLatin1String("serial"));
    m_expires = readExpiry(root.value(QLatin1String("expires")));
}

} // namespace orvan::launcher
