#include "TMainConfigurationWriter.h"

#include "TPackBuildError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSaveFile>
#include <QUrl>

#include <utility>

namespace packbuilder {

namespace {

bool samePlatform(const QJsonObject& build, const TMainConfigurationEntry& entry)
{
    return build.value(QStringLiteral("os")).toString().compare(entry.operatingSystem, Qt::CaseInsensitive) == 0 &&
           build.value(QStringLiteral("architecture")).toString().compare(entry.architecture, Qt::CaseInsensitive) == 0;
}

QJsonObject buildObject(const TMainConfigurationEntry& entry)
{
    QJsonObject build;
    build.insert(QStringLiteral("os"), entry.operatingSystem);
    build.insert(QStringLiteral("architecture"), entry.architecture);
    build.insert(QStringLiteral("url"), entry.packageUrl);
    if (!entry.assetsUrl.isEmpty())
        build.insert(QStringLiteral("assetsurl"), entry.assetsUrl);
    return build;
}

QJsonObject updatedPackage(QJsonObject package, const TMainConfigurationEntry& entry)
{
    package.insert(QStringLiteral("name"), entry.name);
    package.insert(QStringLiteral("directoryname"), entry.directoryName);
    if (entry.installAutomatically)
        package.insert(QStringLiteral("installautomatically"), *entry.installAutomatically);
    if (entry.logoLinkTarget)
        package.insert(QStringLiteral("logolinktarget"), *entry.logoLinkTarget);

    QJsonArray builds;
    bool replaced = false;
    for (const QJsonValue& value : package.value(QStringLiteral("builds")).toArray()) {
        if (!replaced && samePlatform(value.toObject(), entry)) {
            builds.append(buildObject(entry));
            replaced = true;
        } else {
            builds.append(value);
        }
    }
    if (!replaced)
        builds.append(buildObject(entry));
    package.insert(QStringLiteral("builds"), builds);
    return package;
}

} // namespace

TMainConfigurationWriter::TMainConfigurationWriter(QString path) : m_path(std::move(path))
{
    QFile file(m_path);
    if (!file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly))
        throw TPackBuildError(QStringLiteral("cannot open '%1': %2").arg(m_path, file.errorString()));
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        throw TPackBuildError(QStringLiteral("'%1' is not a main configuration document: %2")
                                  .arg(m_path, error.error != QJsonParseError::NoError
                                                   ? error.errorString()
                                                   : QStringLiteral("not an object")));
    m_document = document.object();
}

void TMainConfigurationWriter::setPackage(const TMainConfigurationEntry& entry)
{
    if (entry.directoryName.isEmpty())
        throw TPackBuildError(QStringLiteral("a package needs a directory name"));
    if (entry.isLauncher) {
        m_document.insert(QStringLiteral("launcher"),
                          updatedPackage(m_document.value(QStringLiteral("launcher")).toObject(), entry));
        return;
    }
    QJsonArray packages = m_document.value(QStringLiteral("packages")).toArray();
    for (int index = 0; index < packages.size(); ++index) {
        const QJsonObject package = packages.at(index).toObject();
        if (package.value(QStringLiteral("directoryname")).toString() == entry.directoryName) {
            packages.replace(index, updatedPackage(package, entry));
            m_document.insert(QStringLiteral("packages"), packages);
            return;
        }
    }
    packages.append(updatedPackage(QJsonObject(), entry));
    m_document.insert(QStringLiteral("packages"), packages);
}

void TMainConfigurationWriter::setServiceUrl(const QString& key, const QString& url)
{
    if (url.isEmpty())
        m_document.remove(key);
    else
        m_document.insert(key, url);
}

void TMainConfigurationWriter::write() const
{
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QDir().mkpath(folder))
        throw TPackBuildError(QStringLiteral("cannot create folder '%1'").arg(folder));
    const QByteArray data = QJsonDocument(m_document).toJson(QJsonDocument::Indented);
    QSaveFile file(m_path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        throw TPackBuildError(QStringLiteral("cannot write '%1': %2").arg(m_path, file.errorString()));
}

QString TMainConfigurationWriter::relativeUrl(const QString& mainPath, const QString& targetPath)
{
    const QDir base(QFileInfo(mainPath).absolutePath());
    const QString relative = base.relativeFilePath(QFileInfo(targetPath).absoluteFilePath());
    if (relative.startsWith(QLatin1String("../")) || relative == QLatin1String("..") || QDir::isAbsolutePath(relative))
        throw TPackBuildError(
            QStringLiteral("'%1' is not below the folder of '%2'; give its URL explicitly").arg(targetPath, mainPath));
    return QString::fromLatin1(QUrl::toPercentEncoding(relative, "/"));
}

} // namespace packbuilder
