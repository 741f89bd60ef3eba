#include "TConfigurationTrust.h"

#include "configuration/TLauncherConfigurationReader.h"
#include "configuration/TPackageBuild.h"
#include "hash/TSha256.h"

#include <QDebug>
#include <QSettings>
#include <QUrl>

#include <algorithm>
#include <utility>

namespace orvan::launcher {

namespace {

QString documentPinRefusal(const QString& pin, const QByteArray& document, const QString& what)
{
    if (pin.isEmpty())
        return QStringLiteral("the %1 document is not pinned by a SHA-256").arg(what);
    if (::shared::TSha256::hexHash(document) != pin.toLatin1().toLower())
        return QStringLiteral("the SHA-256 of the %1 document differs from its pin").arg(what);
    return QString();
}

} // namespace

const QString TConfigurationTrust::LegacyHighestSerialKey = QStringLiteral("HighestConfigurationSerial");

QString TConfigurationTrust::highestSerialKey(const QUrl& configurationUrl)
{
    // Percent-encoded as a whole, so that the URL's slashes do not open settings groups.
    return QStringLiteral("HighestConfigurationSerials/") +
           QString::fromLatin1(QUrl::toPercentEncoding(configurationUrl.toString(QUrl::FullyEncoded)));
}

TConfigurationTrust::TConfigurationTrust(const QStringList& keyTexts, QUrl configurationUrl)
    : m_verifier(keyTexts), m_configurationUrl(std::move(configurationUrl))
{
    for (const auto& refused : m_verifier.refusedKeys())
        qCritical().noquote() << "Public key ignored:" << refused.reason << "in" << '"' + refused.text + '"';
    if (m_verifier.keyCount() == 0)
        qCritical() << "No valid public key configured: no main configuration can be verified";
    adoptLegacyHighestSerial();
}

void TConfigurationTrust::adoptLegacyHighestSerial() const
{
    QSettings settings;
    if (!settings.contains(LegacyHighestSerialKey))
        return;
    // The one value covered whatever URL was configured then; the URL configured now is the
    // likeliest, and a floor too high for it is safer than none. Other URLs start afresh.
    const qint64 legacy = settings.value(LegacyHighestSerialKey).toLongLong();
    const QString key = highestSerialKey(m_configurationUrl);
    settings.setValue(key, std::max(legacy, settings.value(key, 0).toLongLong()));
    settings.remove(LegacyHighestSerialKey);
}

QUrl TConfigurationTrust::signatureUrl(const QUrl& documentUrl)
{
    QUrl url(documentUrl);
    url.setPath(documentUrl.path(QUrl::FullyEncoded) + QStringLiteral(".sig"), QUrl::TolerantMode);
    return url;
}

TConfigurationTrust::TRefusal TConfigurationTrust::checkSignature(const QByteArray& document,
                                                                  const QByteArray& signatureText) const
{
    return {m_verifier.refusal(document, signatureText), false};
}

TConfigurationTrust::TRefusal TConfigurationTrust::checkFreshness(const TLauncherConfigurationReader& configuration,
                                                                  const QDateTime& now) const
{
    const qint64 serial = configuration.serial();
    if (serial == TLauncherConfigurationReader::MalformedSerial)
        return {QStringLiteral("malformed serial"), false};
    const qint64 highest = highestAcceptedSerial();
    if (serial < highest)
        return {QStringLiteral("serial %1 is lower than %2, already accepted").arg(serial).arg(highest), false};
    const auto& expires = configuration.expires();
    if (expires && !expires->isValid())
        return {QStringLiteral("malformed expiry time"), false};
    if (expires && *expires <= now)
        return {QStringLiteral("expired at %1").arg(expires->toString(Qt::ISODate)), true};
    return {};
}

void TConfigurationTrust::recordAccepted(const TLauncherConfigurationReader& configuration) const
{
    if (configuration.serial() > highestAcceptedSerial()) {
        QSettings settings;
        settings.setValue(highestSerialKey(m_configurationUrl), configuration.serial());
    }
}

qint64 TConfigurationTrust::highestAcceptedSerial() const
{
    return QSettings().value(highestSerialKey(m_configurationUrl), 0).toLongLong();
}

QString TConfigurationTrust::pinRefusal(const TPackageBuild& build, const QByteArray& packageDocument,
                                        const QByteArray& assetDocument)
{
    QString refusal = documentPinRefusal(build.sha256(), packageDocument, QStringLiteral("package"));
    if (refusal.isEmpty() && build.assetsUrl().isValid())
        refusal = documentPinRefusal(build.assetsSha256(), assetDocument, QStringLiteral("asset"));
    return refusal;
}

} // namespace orvan::launcher
