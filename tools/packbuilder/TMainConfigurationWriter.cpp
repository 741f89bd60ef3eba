#include "TMainConfigurationWriter.h"

#include "TPackBuildError.h"
#include "TSigningKey.h"

#include "hash/TSha256.h"

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

const QString SerialKey = QStringLiteral("serial");
const QString ExpiresKey = QStringLiteral("expires");
const QString ExpiresFormat = QStringLiteral("yyyy-MM-dd'T'HH:mm:ss'Z'");

void writeAtomically(const QString& path, const QByteArray& data)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        throw TPackBuildError(QStringLiteral("cannot write '%1': %2").arg(path, file.errorString()));
}

/// Adds "name (os/architecture)" for every build of Package that names a document without its pin.
void addUnpinnedBuilds(const QJsonObject& package, QStringList& unpinned)
{
    for (const QJsonValue& value : package.value(QStringLiteral("builds")).toArray()) {
        const QJsonObject build = value.toObject();
        const bool assetsUnpinned = !build.value(QStringLiteral("assetsurl")).toString().isEmpty() &&
                                    !build.contains(QStringLiteral("assetssha256"));
        if (!build.contains(QStringLiteral("sha256")) || assetsUnpinned)
            unpinned << QStringLiteral("%1 (%2/%3)")
                            .arg(package.value(QStringLiteral("name")).toString(),
                                 build.value(QStringLiteral("os")).toString(),
                                 build.value(QStringLiteral("architecture")).toString());
    }
}

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
    if (!entry.packageSha256.isEmpty())
        build.insert(QStringLiteral("sha256"), entry.packageSha256);
    if (!entry.assetsUrl.isEmpty())
        build.insert(QStringLiteral("assetsurl"), entry.assetsUrl);
    if (!entry.assetsSha256.isEmpty())
        build.insert(QStringLiteral("assetssha256"), entry.assetsSha256);
    if (!entry.mirrors.isEmpty())
        build.insert(QStringLiteral("mirrors"), QJsonArray::fromStringList(entry.mirrors));
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
            QJsonObject build = buildObject(entry);
            // Mirrors stay with the build when a new version is published without naming them.
            const QJsonValue mirrors = value.toObject().value(QStringLiteral("mirrors"));
            if (entry.mirrors.isEmpty() && !mirrors.isUndefined())
                build.insert(QStringLiteral("mirrors"), mirrors);
            builds.append(build);
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

std::optional<qint64> TMainConfigurationWriter::serial() const
{
    if (!m_document.contains(SerialKey))
        return std::nullopt;
    const QJsonValue value = m_document.value(SerialKey);
    const double number = value.toDouble(-1);
    if (!value.isDouble() || number < 0 || number > 9007199254740992.0 ||
        number != static_cast<double>(static_cast<qint64>(number)))
        throw TPackBuildError(QStringLiteral("'%1' has a \"serial\" that is no integer >= 0").arg(m_path));
    return static_cast<qint64>(number);
}

void TMainConfigurationWriter::setSerial(qint64 serial)
{
    m_document.insert(SerialKey, serial);
}

std::optional<QDateTime> TMainConfigurationWriter::expires() const
{
    if (!m_document.contains(ExpiresKey))
        return std::nullopt;
    QDateTime time = QDateTime::fromString(m_document.value(ExpiresKey).toString(), ExpiresFormat);
    time.setTimeSpec(Qt::UTC);
    return time;
}

void TMainConfigurationWriter::setExpires(const QDateTime& time)
{
    m_document.insert(ExpiresKey, time.toUTC().toString(ExpiresFormat));
}

QStringList TMainConfigurationWriter::unpinnedBuilds() const
{
    QStringList unpinned;
    if (m_document.contains(QStringLiteral("launcher")))
        addUnpinnedBuilds(m_document.value(QStringLiteral("launcher")).toObject(), unpinned);
    for (const QJsonValue& package : m_document.value(QStringLiteral("packages")).toArray())
        addUnpinnedBuilds(package.toObject(), unpinned);
    return unpinned;
}

void TMainConfigurationWriter::write(const TSigningKey* signingKey) const
{
    if (signingKey == nullptr)
        checkUnsignedWrite(m_path);
    const QString folder = QFileInfo(m_path).absolutePath();
    if (!QDir().mkpath(folder))
        throw TPackBuildError(QStringLiteral("cannot create folder '%1'").arg(folder));
    const QByteArray data = QJsonDocument(m_document).toJson(QJsonDocument::Indented);
    const QByteArray signature = signingKey != nullptr ? signingKey->signatureText(data) : QByteArray();
    writeAtomically(m_path, data);
    if (signingKey != nullptr)
        writeAtomically(signaturePath(m_path), signature);
}

QString TMainConfigurationWriter::signaturePath(const QString& path)
{
    return path + QStringLiteral(".sig");
}

void TMainConfigurationWriter::checkUnsignedWrite(const QString& path)
{
    if (QFileInfo::exists(signaturePath(path)))
        throw TPackBuildError(QStringLiteral("'%1' is signed; give --sign-key to sign the new document too (or "
                                             "delete '%2' to stop signing it)")
                                  .arg(path, signaturePath(path)));
}

QString TMainConfigurationWriter::documentPin(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw TPackBuildError(QStringLiteral("cannot open '%1': %2").arg(path, file.errorString()));
    const QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw TPackBuildError(QStringLiteral("cannot read '%1': %2").arg(path, file.errorString()));
    return QString::fromLatin1(shared::TSha256::hexHash(data));
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
