#include "ParseHints.h"

#include <QDebug>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

namespace shared {

namespace {

const QString RichTextPrefix = QStringLiteral("<style>a { color: #c0c0c0; }</style>");

QDateTime readDate(const QJsonObject& Object, QLatin1String Key)
{
    const QDateTime date = QDateTime::fromString(Object.value(Key).toString(), Qt::ISODate);
    return date.isValid() ? date : QDateTime();
}

THint readHint(const QJsonObject& Object)
{
    THint hint;
    hint.title = Object.value(QLatin1String("title")).toString();
    hint.richText = Object.value(QLatin1String("richText")).toString();
    hint.imageUrl = Object.value(QLatin1String("imageUrl")).toString();
    hint.category = Object.value(QLatin1String("category")).toString();
    hint.url = Object.value(QLatin1String("url")).toString();
    hint.displayAfter = readDate(Object, QLatin1String("displayAfter"));
    hint.displayUntil = readDate(Object, QLatin1String("displayUntil"));
    if (Object.contains(QLatin1String("emergency"))) {
        hint.hasEmergency = true;
        hint.emergency = Object.value(QLatin1String("emergency")).toBool();
    }
    return hint;
}

} // namespace

std::vector<THint> parseHints(const QByteArray& Data)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(Data, &error);
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
