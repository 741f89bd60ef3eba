#include "TAccountGroupFile.h"

#include <QDebug>
#include <QFile>
#include <QJsonDocument>
#include <QJsonParseError>

namespace orvan::launcher {

QJsonObject TAccountGroupFile::readObject(const QString& path, bool fileExists)
{
    if (!fileExists)
        return QJsonObject{{QStringLiteral("blub"), QStringLiteral("bla")}};

    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qWarning() << "Failed to open file:" << file.errorString();
        return QJsonObject{{QStringLiteral("error"), path}};
    }
    const QByteArray data = file.readAll();
    file.close();

    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(data, &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        qWarning() << "JSON parse error:" << parseError.errorString();
        return QJsonObject();
    }
    if (!document.isObject()) {
        qWarning() << "JSON file does not contain a valid JSON object.";
        return QJsonObject();
    }
    return document.object();
}

QString TAccountGroupFile::keyFromObject(const QJsonObject& object)
{
    const QJsonValue key = object.value(QStringLiteral("Key"));
    if (key.isString())
        return key.toString();

    if (object.isEmpty())
        qWarning() << "AccountGroupSetting Error: Empty";
    else if (key.isUndefined())
        qWarning() << "AccountGroupSetting Error: KeyNotExists";
    else
        qWarning() << "AccountGroupSetting Error: KeyNoString";
    return QString();
}

} // namespace orvan::launcher
