#include "ParseHints.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace shared {

namespace {

const QString RichTextPrefix = QStringLiteral("<style>a { color: #c0c0c0; }</style>");

QDateTime readDate(const QJsonObject& object, QLatin1String key)
{
    const QDateTime date = QDateTime::fromString(object.value(key).toString(), Qt::ISODate);
    return date.isValid() ? date : QDateTime();
}

THint readHint(const QJsonObject& object)
{
    THint hint;
    hint.title = object.value(QLatin1String("title")).toString();
    hint.richText = object.value(QLatin1String("richText")).toString();
    hint.imageUrl = object.value(QLatin1String("imageUrl")).toString();
    hint.category = object.value(QLatin1String("category")).toString();
    hint.url = object.value(QLatin1String("url")).toString();
    hint.displayAfter = readDate(object, QLatin1String("displayAfter"));
    hint.displayUntil = readDate(object, QLatin1String("displayUntil"));
    if (object.contains(QLatin1String("emergency"))) {
        hint.hasEmergency = true;
        hint.emergency = object.value(QLatin1String("emergency")).toBool();
    }
    return hint;
}

} // namespace

std::vector<THint> parseHints(const QByteArray& data)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (error.error != QJsonParseError::NoError) {
        qWarning() << "Could not parse hints file at offset" << error.offset << ":" << error.errorString();
        return {};
    }
    std::vector<THint> hints;
    for (const QJsonValue& element : document.array()) {
        THint hint = readHint(element.toObject());
        if (!hint.richText.isEmpty()) {
            hint.richText.prepend(RichTextPrefix);
            hints.push_back(std::move(hint));
        }
    }
    return hints;
}

} // namespace shared
