#include "network/SslErrorText.h"

#include <QDateTime>
#include <QSslCertificate>

namespace shared {

namespace {

QString certificateText(const QSslCertificate& certificate)
{
    if (certificate.isNull())
        return QString();
    QString subject = certificate.subjectDisplayName();
    if (subject.isEmpty())
        subject = certificate.subjectInfo(QSslCertificate::CommonName).join(QLatin1String(", "));
    return QStringLiteral(" (certificate subject \"%1\", issuer \"%2\", valid until %3)")
        .arg(subject, certificate.issuerDisplayName(), certificate.expiryDate().toUTC().toString(Qt::ISODate));
}

} // namespace

QStringList sslErrorLines(const QUrl& url, const QList<QSslError>& errors)
{
    QStringList lines;
    const QString host = url.port() < 0 ? url.host() : QStringLiteral("%1:%2").arg(url.host()).arg(url.port());
    for (const QSslError& error : errors)
        lines.append(QStringLiteral("Certificate error for %1: %2%3")
                         .arg(host, error.errorString(), certificateText(error.certificate())));
    return lines;
}

} // namespace shared
