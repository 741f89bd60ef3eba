#include "TClientStarter.h"

#include <QDebug>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QProcess>

namespace orvan::launcher {

const QString TClientStarter::upToDateArgument = QStringLiteral("--package-is-up-to-date");
const QString TClientStarter::clientSettingsPath =
    QStringLiteral("QuenmarOnlineClient_Data/Data/Settings/settings.json");

void TClientStarter::checkClientSettings(const QDir& packageDirectory)
{
    const QString path = QDir(packageDirectory.absolutePath()).filePath(clientSettingsPath);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        qWarning() << "Could not open settings file:" << path;
        return;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError) {
        qWarning() << "JSON parse error:" << parseError.errorString();
        return;
    }
    if (!document.isObject()) {
        qWarning() << "JSON is not an object!";
        return;
    }
    if (!document.object().value(QStringLiteral("GraphicsAPI")).isString())
        qWarning() << "GraphicsAPI key not found or not a string!";
}

bool TClientStarter::isUsableLibraryFolder(const QString& folder)
{
    return !folder.contains(QLatin1Char(':'));
}

bool TClientStarter::startDetached(const QString& executable, const QStringList& arguments)
{
    const QString folder = QFileInfo(executable).absolutePath();
    if (!isUsableLibraryFolder(folder))
        return false;
    qputenv("LD_LIBRARY_PATH", folder.toLocal8Bit());
    return QProcess::startDetached(executable, arguments, folder);
}

} // namespace orvan::launcher
