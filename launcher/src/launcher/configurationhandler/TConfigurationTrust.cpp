#include "TConfigurationTrust.h"

#include "configuration/TLauncherConfigurationReader.h"
#include "configuration/TPackageBuild.h"
#include "hash/TSha256.h"

#include <QDebug>
#include <QSettings>
#include <QUrl>

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

const QString TConfigurationTrust::HighestSerialKey = QStringLiteral("HighestConfigurationSerial");

TConfigurationTrust::TConfigurationTrust(const QStringList& keyTexts) : m_verifier(keyTexts)
{
    for (const auto& refused : m_verifier.refusedKeys())
        qCritical().noquote() << "Public key ignored:" << refused.reason << "in" << '"' + refused.text + '"';
    if (m_verifier.keyCount() == 0)
        qCritical() << "No valid public key configured: no main configuration can be verified";
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
        settings.setValue(HighestSerialKey, configuration.serial());
    }
}

qint64 TConfigurationTrust::highestAcceptedSerial()
{
    return QSettings().value(HighestSerialKey, 0).toLongLong();
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
