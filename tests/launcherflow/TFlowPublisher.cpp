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

QString TFlowPublisher::publishedDirectory(const QString& Name) const
{
    return wwwDirectory() + QStringLiteral("/launcher/") + Name;
}

QString TFlowPublisher::sourceDirectory(const QString& Name) const
{
    return m_root.filePath(QStringLiteral("sources/") + Name);
}

QString TFlowPublisher::writeClientSource(const QString& Name, int Generation, int DataKiB)
{
    const QString source = sourceDirectory(QStringLiteral("%1-%2").arg(Name).arg(Generation));
    QDir(source).removeRecursively();
    QByteArray script(ClientScript);
    script.replace("__NAME__", Name.toUtf8()).replace("__GENERATION__", QByteArray::number(Generation));
    const QString client = source + QStringLiteral("/bin/client");
    try {
        QByteArray data = pseudoRandom(DataKiB * 1024, qHash(Name));
        if (Generation > 1)
            data.replace(data.size() / 2, 64,
                         QByteArray("generation ").append(QByteArray::number(Generation)).leftJustified(64, '.'));
        writeFile(client, script);
        if (!QFile::setPermissions(client, QFile::permissions(client) | QFileDevice::ExeOwner | QFileDevice::ExeGroup |
                                               QFileDevice::ExeOther))
            throw std::runtime_error("cannot make the client executable");
        writeFile(source + QStringLiteral("/bin/libquenmar-flow.so"), pseudoRandom(48 * 1024, qHash(Name) + 1));
        writeFile(source + QStringLiteral("/data/world.pak"), data);
        writeFile(source + QStringLiteral("/data/notes.txt"),
                  QStringLiteral("%1, build %2\n").arg(Name).arg(Generation).toUtf8());
        writeFile(source + QStringLiteral("/QuenmarOnlineClient_Data/Data/Settings/settings.json"),
                  "{\n    \"GraphicsAPI\": \"OpenGL\"\n}\n");
    } catch (const std::runtime_error& error) {
        m_errorText = QStringLiteral("could not write the client source: ") + QString::fromUtf8(error.what());
        return QString();
    }
    return source;
}

bool TFlowPublisher::publish(const QString& Source, const QString& OutputName, const QStringList& Options)
{
    QStringList arguments{QStringLiteral("build"), Source, publishedDirectory(OutputName)};
    arguments << Options << QStringLiteral("--main-config") << mainConfigurationPath();
    const TProcessResult result = runProcess(Tool, arguments);
    if (result.exitCode != 0) {
        m_errorText =
            QStringLiteral("quenmar-pack %1 failed: %2")
                .arg(arguments.join(QLatin1Char(' ')), QString::fromUtf8(result.standardOutput + result.standardError));
        return false;
    }
    return true;
}

bool TFlowPublisher::publishClient(const QString& Source, const QString& OutputName, const QString& DisplayName,
                                   bool InstallAutomatically, const QString& Version, const QStringList& ExtraOptions)
{
    QStringList options{QStringLiteral("--version"),
                        Version,
                        QStringLiteral("--executable"),
                        QStringLiteral("bin/client"),
                        QStringLiteral("--name"),
                        DisplayName,
                        QStringLiteral("--directory-name"),
                        OutputName,
                        QStringLiteral("--install-automatically"),
                        InstallAutomatically ? QStringLiteral("true") : QStringLiteral("false"),
                        QStringLiteral("--chunk-threshold"),
                        QStringLiteral("256K")};
    for (const QString& parameter : ClientParameters)
        options << QStringLiteral("--parameter") << parameter;
    options << ExtraOptions;
    return publish(Source, OutputName, options);
}

bool TFlowPublisher::editMainConfiguration(const std::function<void(QJsonObject&)>& Edit)
{
    QJsonObject document = QJsonDocument::fromJson(readFile(mainConfigurationPath())).object();
    Edit(document);
    try {
        writeFile(mainConfigurationPath(), QJsonDocument(document).toJson());
    } catch (const std::runtime_error& error) {
        m_errorText = QString::fromUtf8(error.what());
        return false;
    }
    return true;
}

QByteArray TFlowPublisher::packageDocument(const QString& OutputName) const
{
    return readFile(publishedDirectory(OutputName) + QStringLiteral("/package.json"));
}

QStringList TFlowPublisher::objectPaths(const QString& OutputName) const
{
    const QJsonObject document = QJsonDocument::fromJson(packageDocument(OutputName)).object();
    QStringList paths;
    for (const QString& key : {QStringLiteral("chunks"), QStringLiteral("files")}) {
        for (const QJsonValue& entry : document.value(key).toArray()) {
            const QString url = entry.toObject().value(QStringLiteral("url")).toString();
            if (!url.isEmpty())
                paths << QStringLiteral("/launcher/%1/%2").arg(OutputName, url);
        }
    }
    paths.removeDuplicates();
    return paths;
}

} // namespace testsupport
