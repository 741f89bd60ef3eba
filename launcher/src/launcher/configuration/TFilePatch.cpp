#include "TFilePatch.h"

#include "JsonValueConversion.h"

#include <QJsonObject>

namespace orvan::launcher {

TFilePatch TFilePatch::fromJson(const QJsonObject& object, const QUrl& baseUrl)
{
    TFilePatch patch;
    patch.url = jsonvalue::toResolvedUrl(object.value(QLatin1String("url")), baseUrl);
    patch.fromVersion = QString::number(jsonvalue::toInt32(object.value(QLatin1String("fromversion")), 0));
    patch.toVersion = QString::number(jsonvalue::toInt32(object.value(QLatin1String("toversion")), 0));
    patch.size = jsonvalue::toInt32(object.value(QLatin1String("size")), 0);
    return patch;
}

} // namespace orvan::launcher
