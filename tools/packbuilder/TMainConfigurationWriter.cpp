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

bool samePlatform(const QJsonObject& Build, const TMainConfigurationEntry& Entry)
{
    return Build.value(QStringLiteral("os")).toString().compare(Entry.operatingSystem, Qt::CaseInsensitive) == 0 &&
           Build.value(QStringLiteral("architecture")).toString().compare(Entry.architecture, Qt::CaseInsensitive) == 0;
}

QJsonObject buildObject(const TMainConfigurationEntry& Entry)
{
    QJsonObject build;
    build.insert(QStringLiteral("os"), Entry.operatingSystem);
    build.insert(QStringLiteral("architecture"), Entry.architecture);
    build.insert(QStringLiteral("url"), Entry.packageUrl);
    if (!Entry.assetsUrl.isEmpty())
        build.insert(QStringLiteral("assetsurl"), Entry.assetsUrl);
    return build;
}

QJsonObject updatedPackage(QJsonObject Package, const TMainConfigurationEntry& Entry)
{
    Package.insert(QStringLiteral("name"), Entry.name);
    Package.insert(QStringLiteral("directoryname"), Entry.directoryName);
    if (Entry.installAutomatically)
        Package.insert(QStringLiteral("installautomatically"), *Entry.installAutomatically);
    if (Entry.logoLinkTarget)
        Package.insert(QStringLiteral("logolinktarget"), *Entry.logoLinkTarget);

    QJsonArray builds;
    bool replaced = false;
    for (const QJsonValue& value : Package.value(QStringLiteral("builds")).toArray()) {
        if (!replaced && samePlatform(value.toObject(), Entry)) {
            builds.append(buildObject(Entry));
            replaced = true;
        } else {
            builds.append(value);
        }
    }
    if (!replaced)
        builds.append(buildObject(Entry));
    Package.insert(QStringLiteral("builds"), builds);
    return Package;
}

} // namespace

TMainConfigurationWriter::TMainConfigurationWriter(QString Path) : m_path(std::move(Path))
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

void TMainConfigurationWriter::setPackage(const TMainConfigurationEntry& Entry)
{
    if (Entry.directoryName.isEmpty())
        throw TPackBuildError(QStringLiteral("a package needs a directory name"));
    if (Entry.isLauncher) {
        m_document.insert(QStringLiteral("launcher"),
                          updatedPackage(m_document.value(QStringLiteral("launcher")).toObject(), Entry));
        return;
    }
    QJsonArray packages = m_document.value(QStringLiteral("packages")).toArray();
    for (int index = 0; index < packages.size(); ++index) {
        const QJsonObject package = packages.at(index).toObject();
        if (package.value(QStringLiteral("directoryname")).toString() == Entry.directoryName) {
            packages.replace(index, updatedPackage(package, Entry));
            m_document.insert(QStringLiteral("packages"), packages);
            return;
        }
    }
    packages.append(updatedPackage(QJsonObject(), Entry));
    m_document.insert(QStringLiteral("packages"), packages);
}

void TMainConfigurationWriter::setServiceUrl(const QString& Key, const QString& Url)
{
    if (Url.isEmpty())
        m_document.remove(Key);
    else
        m_document.insert(Key, Url);
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

QString TMainConfigurationWriter::relativeUrl(const QString& MainPath, const QString& TargetPath)
{
    const QDir base(QFileInfo(MainPath).absolutePath());
    const QString relative = base.relativeFilePath(QFileInfo(TargetPath).absoluteFilePath());
    if (relative.startsWith(QLatin1String("../")) || relative == QLatin1String("..") || QDir::isAbsolutePath(relative))
        throw TPackBuildError(
            QStringLiteral("'%1' is not below the folder of '%2'; give its URL explicitly").arg(TargetPath, MainPath));
    return QString::fromLatin1(QUrl::toPercentEncoding(relative, "/"));
}

} // namespace packbuilder
