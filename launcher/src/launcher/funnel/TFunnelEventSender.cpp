#include "TFunnelEventSender.h"

#include "jsonupload/TJsonDocumentHttpPostSender.h"
#include "network/TReplyGuard.h"

#include <QDebug>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSettings>
#include <QStandardPaths>
#include <QUuid>

namespace orvan::launcher {

const QString TFunnelEventSender::funnelUuidKey = QStringLiteral("FunnelUuid");
const QString TFunnelEventSender::sharedIdentifierFile = QStringLiteral("/Quenmar Online/quenmarShared.json");

TFunnelEventSender::TFunnelEventSender(QObject* parent) : QObject(parent) {}

void TFunnelEventSender::writeSharedIdentifierFile(const QString& identifier)
{
    QFile file(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + sharedIdentifierFile);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return;
    file.write(QJsonDocument(QJsonObject{{QStringLiteral("DeviceIdentifier"), identifier}}).toJson());
}

QString TFunnelEventSender::deviceIdentifier()
{
    QSettings settings;
    const QVariant stored = settings.value(funnelUuidKey);
    if (stored.isValid())
        return stored.toString();
    const QString identifier = QUuid::createUuid().toString(QUuid::WithoutBraces);
    settings.setValue(funnelUuidKey, identifier);
    writeSharedIdentifierFile(identifier);
    return identifier;
}

void TFunnelEventSender::sendFunnelEvent(const QUrl& funnelUrl, const QString& accountGroupKey, const QString& step,
                                         const QString& firstSettingsKey)
{
    qInfo() << "sendFunnelEvent: " << step;
    const QString identifier = deviceIdentifier();
    QSettings settings;
    const bool first = settings.value(firstSettingsKey, true).toBool();
    if (first)
        settings.setValue(firstSettingsKey, false);
    settings.sync();

    if (!funnelUrl.isValid())
        return;

    const QJsonObject body{{QStringLiteral("step"), step},
                           {QStringLiteral("first"), first},
                           {QStringLiteral("id"), identifier},
                           {QStringLiteral("accountgroupkey"), accountGroupKey}};
    QNetworkRequest request(funnelUrl);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/json"));
    // An endpoint that never answers must not hold a connection for the rest of the run.
    request.setTransferTimeout(60000);

    auto* manager = new QNetworkAccessManager(this);
    qInfo() << "Sending funnel event for step " << step;
    QNetworkReply* reply = manager->post(request, QJsonDocument(body).toJson());
    // The answer is only logged; an endless one must not fill the memory.
    new ::shared::TReplyGuard(reply, ::shared::TJsonDocumentHttpPostSender::DefaultMaxAnswerBytes);
    ++m_pendingEvents;
    connect(
        reply, &QNetworkReply::finished, this,
        [this, reply, step, manager] {
            const bool success = reply->error() == QNetworkReply::NoError;
            if (!success) {
                qWarning() << "Error funnel sending (Step: " << step << "):" << reply->errorString();
            } else {
                const QByteArray answer = reply->readAll();
                const int end = answer.indexOf('\0');
                qInfo() << "Funnel response received (Step: " << step
                        << "):" << QString::fromLatin1(end < 0 ? answer : answer.left(end));
            }
            reply->deleteLater();
            manager->deleteLater();
            --m_pendingEvents;
            emit funnelEventFinished(step, success);
        },
        Qt::DirectConnection);
}

} // namespace orvan::launcher
