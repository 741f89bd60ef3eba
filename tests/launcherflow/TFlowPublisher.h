#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <functional>

namespace testsupport {

/// Publishes packages the way a release does, into a tree that the test server serves: source
/// folders written on the fly, built with quenmar-pack into www/launcher/<name>, all listed in the
/// main configuration www/launcher/brlmetadata.json.
class TFlowPublisher
{
public:
    /// The environment variable that tells the test client where to write its report.
    static const QString ReportVariable;
    static const QString MainConfigurationTarget;
    /// The parameters that publishClient gives every client package.
    static const QStringList ClientParameters;
    /// The launchersettings.ini of a launcher under test: the main configuration at
    /// mainConfigurationUrl, the shipped values otherwise, then extraSections.
    static QByteArray launcherSettings(const QUrl& mainConfigurationUrl, const QByteArray& extraSections = {});

    TFlowPublisher();

    bool isValid() const { return m_root.isValid(); }
    QString wwwDirectory() const;
    QString mainConfigurationPath() const;
    /// The published folder of a package: www/launcher/<Name>.
    QString publishedDirectory(const QString& name) const;
    QString sourceDirectory(const QString& name) const;
    QString errorText() const { return m_errorText; }

    /// Writes a client source folder: bin/client (a shell script that reports how it was started),
    /// a fake library, data files and the client settings. Generation 2 changes one place of the
    /// large data file and the client's version line.
    QString writeClientSource(const QString& name, int generation, int dataKiB);
    /// A client source (generation 1, data file of dataKiB) plus fileCount small files of 1 to 16 KiB
    /// in nested folders below content/, the same for the same name. Every 500th file repeats the
    /// bytes of the one before it, so a few objects serve two files.
    QString writeManyFilesSource(const QString& name, int fileCount, int dataKiB);
    /// Runs `quenmar-pack build SOURCE www/launcher/<outputName> OPTIONS --main-config ...`.
    bool publish(const QString& source, const QString& outputName, const QStringList& options);
    /// Publishes a client package that starts bin/client with the test's two parameters.
    bool publishClient(const QString& source, const QString& outputName, const QString& displayName,
                       bool installAutomatically, const QString& version, const QStringList& extraOptions = {});
    /// Reads, changes and rewrites the main configuration document.
    bool editMainConfiguration(const std::function<void(QJsonObject&)>& edit);

    QByteArray packageDocument(const QString& outputName) const;
    /// Server paths of every object that the package document of outputName names.
    QStringList objectPaths(const QString& outputName) const;

private:
    QTemporaryDir m_root;
    QString m_errorText;
};

} // namespace testsupport
