#pragma once

#include <QString>
#include <QUrl>

class QJsonObject;

namespace orvan::launcher {

/// A patch that turns one version of a file into another; carried along with the file.
struct TFilePatch
{
    QUrl url;
    QString fromVersion;
    QString toVersion;
    qint64 size = 0;

    /// Reads a patch object; the versions become the decimal text of their integers.
    static TFilePatch fromJson(const QJsonObject& object, const QUrl& baseUrl);
};

} // namespace orvan::launcher
