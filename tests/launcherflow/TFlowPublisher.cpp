#include "TFlowPublisher.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QRandomGenerator>

namespace testsupport {

namespace {

const QString Tool = QStringLiteral(QUENMAR_BINARY_DIR "/bin/quenmar-pack");
constexpr int ToolTimeoutMs = 120000;

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
    QByteArray data = pseudoRandomBytes(qHash(Name), DataKiB * 1024);
    if (Generation > 1)
        data.replace(data.size() / 2, 64,
                     QByteArray("generation ").append(QByteArray::number(Generation)).leftJustified(64, '.'));
    const bool written =
        writeFile(client, script) &&
        QFile::setPermissions(client, QFile::permissions(client) | QFileDevice::ExeOwner | QFileDevice::ExeGroup |
                                          QFileDevice::ExeOther) &&
        writeFile(source + QStringLiteral("/bin/libquenmar-flow.so"), pseudoRandomBytes(qHash(Name) + 1, 48 * 1024)) &&
        writeFile(source + QStringLiteral("/data/world.pak"), data) &&
        writeFile(source + QStringLiteral("/data/notes.txt"),
                  QStringLiteral("%1, build %2\n").arg(Name).arg(Generation).toUtf8()) &&
        writeFile(source + QStringLiteral("/QuenmarOnlineClient_Data/Data/Settings/settings.json"),
                  "{\n    \"GraphicsAPI\": \"OpenGL\"\n}\n");
    if (!written) {
        m_errorText = QStringLiteral("could not write the source folder ") + source;
        return QString();
    }
    return source;
}

bool TFlowPublisher::publish(const QString& Source, const QString& OutputName, const QStringList& Options)
{
    QProcess tool;
    tool.setProcessChannelMode(QProcess::MergedChannels);
    QStringList arguments{QStringLiteral("build"), Source, publishedDirectory(OutputName)};
    arguments << Options << QStringLiteral("--main-config") << mainConfigurationPath();
    tool.start(Tool, arguments);
    if (!tool.waitForFinished(ToolTimeoutMs) || tool.exitStatus() != QProcess::NormalExit || tool.exitCode() != 0) {
        m_errorText = QStringLiteral("quenmar-pack %1 failed: %2")
                          .arg(arguments.join(QLatin1Char(' ')), QString::fromUtf8(tool.readAll()));
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
    return writeFile(mainConfigurationPath(), QJsonDocument(document).toJson());
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

QByteArray TFlowPublisher::pseudoRandomBytes(quint32 Seed, int Size)
{
    QByteArray data(Size, '\0');
    QRandomGenerator generator(Seed);
    generator.fillRange(reinterpret_cast<quint32*>(data.data()), Size / 4);
    return data;
}

bool TFlowPublisher::writeFile(const QString& Path, const QByteArray& Data)
{
    QDir().mkpath(QFileInfo(Path).absolutePath());
    QFile file(Path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(Data) == Data.size();
}

QByteArray TFlowPublisher::readFile(const QString& Path)
{
    QFile file(Path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList TFlowPublisher::filesBelow(const QString& Directory)
{
    QStringList files;
    const QDir root(Directory);
    QDirIterator it(Directory, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << root.relativeFilePath(it.next());
    files.sort();
    return files;
}

} // namespace testsupport
