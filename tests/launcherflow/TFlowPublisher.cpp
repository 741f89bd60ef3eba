#include "TFlowPublisher.h"

#include "support/TestFiles.h"
#include "support/TestProcess.h"
#include "support/TestRandom.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <stdexcept>

namespace testsupport {

namespace {

const QString Tool = builtTool(QStringLiteral("quenmar-pack"));

// The client writes its report under a temporary name first, so that the test never reads half
// of it.
const char* const ClientScript = R"SH(#!/bin/sh
# Test client: records how the launcher started it.
report="${QUENMAR_FLOW_CLIENT_REPORT:?}"
{
  echo "client=__NAME__"
  echo "generation=__GENERATION__"
  echo "cwd=$(pwd -P)"
  echo "ld_library_path=${LD_LIBRARY_PATH:-}"
  for argument in "$@"; do echo "argument=$argument"; done
} > "$report.tmp" && mv "$report.tmp" "$report"
)SH";

} // namespace

const QString TFlowPublisher::ReportVariable = QStringLiteral("QUENMAR_FLOW_CLIENT_REPORT");
const QString TFlowPublisher::MainConfigurationTarget = QStringLiteral("/launcher/brlmetadata.json");
const QStringList TFlowPublisher::ClientParameters = {QStringLiteral("--realm=flowtest"),
                                                      QStringLiteral("--window-title=Quenmar Online")};

TFlowPublisher::TFlowPublisher()
{
    if (m_root.isValid())
        QDir(m_root.path()).mkpath(QStringLiteral("www/launcher"));
}

QString TFlowPublisher::wwwDirectory() const
{
    return m_root.filePath(QStringLiteral("www"));
}

QString TFlowPublisher::mainConfigurationPath() const
{
    return wwwDirectory() + MainConfigurationTarget;
}

QString TFlowPublisher::publishedDirectory(const QString& name) const
{
    return wwwDirectory() + QStringLiteral("/launcher/") + name;
}

QString TFlowPublisher::sourceDirectory(const QString& name) const
{
    return m_root.filePath(QStringLiteral("sources/") + name);
}

QString TFlowPublisher::writeClientSource(const QString& name, int generation, int dataKiB)
{
    const QString source = sourceDirectory(QStringLiteral("%1-%2").arg(name).arg(generation));
    QDir(source).removeRecursively();
    QByteArray script(ClientScript);
    script.replace("__NAME__", name.toUtf8()).replace("__GENERATION__", QByteArray::number(generation));
    const QString client = source + QStringLiteral("/bin/client");
    try {
        QByteArray data = pseudoRandom(dataKiB * 1024, qHash(name));
        if (generation > 1)
            data.replace(data.size() / 2, 64,
                         QByteArray("generation ").append(QByteArray::number(generation)).leftJustified(64, '.'));
        writeFile(client, script);
        if (!QFile::setPermissions(client, QFile::permissions(client) | QFileDevice::ExeOwner | QFileDevice::ExeGroup |
                                               QFileDevice::ExeOther))
            throw std::runtime_error("cannot make the client executable");
        writeFile(source + QStringLiteral("/bin/libquenmar-flow.so"), pseudoRandom(48 * 1024, qHash(name) + 1));
        writeFile(source + QStringLiteral("/data/world.pak"), data);
        writeFile(source + QStringLiteral("/data/notes.txt"),
                  QStringLiteral("%1, build %2\n").arg(name).arg(generation).toUtf8());
        writeFile(source + QStringLiteral("/QuenmarOnlineClient_Data/Data/Settings/settings.json"),
                  "{\n    \"GraphicsAPI\": \"OpenGL\"\n}\n");
    } catch (const std::runtime_error& error) {
        m_errorText = QStringLiteral("could not write the client source: ") + QString::fromUtf8(error.what());
        return QString();
    }
    return source;
}

QString TFlowPublisher::writeManyFilesSource(const QString& name, int fileCount, int dataKiB)
{
    const QString source = writeClientSource(name, 1, dataKiB);
    if (source.isEmpty())
        return source;
    const QByteArray sizes = pseudoRandom(fileCount * 2, qHash(name) + 2);
    try {
        QByteArray data;
        for (int index = 0; index < fileCount; ++index) {
            if (index % 500 != 499) {
                const int sizeBits =
                    static_cast<uchar>(sizes[2 * index]) << 8 | static_cast<uchar>(sizes[2 * index + 1]);
                data = pseudoRandom(1024 + sizeBits % (15 * 1024 + 1), qHash(name) + 3 + index);
            }
            writeFile(QStringLiteral("%1/content/area%2/zone%3/file%4.bin")
                          .arg(source)
                          .arg(index % 5)
                          .arg(index % 7)
                          .arg(index, 5, 10, QLatin1Char('0')),
                      data);
        }
    } catch (const std::runtime_error& error) {
        m_errorText = QStringLiteral("could not write the small files: ") + QString::fromUtf8(error.what());
        return QString();
    }
    return source;
}

QByteArray TFlowPublisher::launcherSettings(const QUrl& mainConfigurationUrl, const QByteArray& extraSections)
{
    return "[URLS]\r\nlauncherConfiguration=" + mainConfigurationUrl.toEncoded() +
           "\r\ncdnDiagnosticsTrace=\r\nappendNocacheToPackageUrls=false\r\n\r\n"
           "[DIRECTORIES]\r\npackages=packages\r\nsettingsTarget=QuenmarOnlineClient_Data/Data/Settings\r\n\r\n"
           "[FILES]\r\npackageFile=package.json\r\npartialPackageFile=partial-package.json\r\n"
           "assetFile=assets.json\r\naccountGroupFile=accountgroup.json\r\n\r\n"
           "[TIMING]\r\nwaitNotificationTimeout=500\r\ndownloadErrorTimeout=30000\r\nclientStartTimeout=30000\r\n" +
           extraSections;
}

bool TFlowPublisher::publish(const QString& source, const QString& outputName, const QStringList& options)
{
    QStringList arguments{QStringLiteral("build"), source, publishedDirectory(outputName)};
    arguments << options << QStringLiteral("--main-config") << mainConfigurationPath();
    const TProcessResult result = runProcess(Tool, arguments);
    if (result.exitCode != 0) {
        m_errorText =
            QStringLiteral("quenmar-pack %1 failed: %2")
                .arg(arguments.join(QLatin1Char(' ')), QString::fromUtf8(result.standardOutput + result.standardError));
        return false;
    }
    return true;
}

bool TFlowPublisher::publishClient(const QString& source, const QString& outputName, const QString& displayName,
                                   bool installAutomatically, const QString& version, const QStringList& extraOptions)
{
    QStringList options{QStringLiteral("--version"),
                        version,
                        QStringLiteral("--executable"),
                        QStringLiteral("bin/client"),
                        QStringLiteral("--name"),
                        displayName,
                        QStringLiteral("--directory-name"),
                        outputName,
                        QStringLiteral("--install-automatically"),
                        installAutomatically ? QStringLiteral("true") : QStringLiteral("false"),
                        QStringLiteral("--chunk-threshold"),
                        QStringLiteral("256K")};
    for (const QString& parameter : ClientParameters)
        options << QStringLiteral("--parameter") << parameter;
    options << extraOptions;
    return publish(source, outputName, options);
}

bool TFlowPublisher::editMainConfiguration(const std::function<void(QJsonObject&)>& edit)
{
    QJsonObject document = QJsonDocument::fromJson(readFile(mainConfigurationPath())).object();
    edit(document);
    try {
        writeFile(mainConfigurationPath(), QJsonDocument(document).toJson());
    } catch (const std::runtime_error& error) {
        m_errorText = QString::fromUtf8(error.what());
        return false;
    }
    return true;
}

QByteArray TFlowPublisher::packageDocument(const QString& outputName) const
{
    return readFile(publishedDirectory(outputName) + QStringLiteral("/package.json"));
}

QStringList TFlowPublisher::objectPaths(const QString& outputName) const
{
    const QJsonObject document = QJsonDocument::fromJson(packageDocument(outputName)).object();
    QStringList paths;
    for (const QString& key : {QStringLiteral("chunks"), QStringLiteral("files")}) {
        for (const QJsonValue& entry : document.value(key).toArray()) {
            const QString url = entry.toObject().value(QStringLiteral("url")).toString();
            if (!url.isEmpty())
                paths << QStringLiteral("/launcher/%1/%2").arg(outputName, url);
        }
    }
    paths.removeDuplicates();
    return paths;
}

} // namespace testsupport
