#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

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

    TFlowPublisher();

    bool isValid() const { return m_root.isValid(); }
    QString wwwDirectory() const;
    QString mainConfigurationPath() const;
    /// The published folder of a package: www/launcher/<Name>.
    QString publishedDirectory(const QString& Name) const;
    QString sourceDirectory(const QString& Name) const;
    QString errorText() const { return m_errorText; }

    /// Writes a client source folder: bin/client (a shell script that reports how it was started),
    /// a fake library, data files and the client settings. Generation 2 changes one place of the
    /// large data file and the client's version line.
    QString writeClientSource(const QString& Name, int Generation, int DataKiB);
    /// Runs `quenmar-pack build SOURCE www/launcher/<OutputName> OPTIONS --main-config ...`.
    bool publish(const QString& Source, const QString& OutputName, const QStringList& Options);
    /// Publishes a client package that starts bin/client with the test's two parameters.
    bool publishClient(const QString& Source, const QString& OutputName, const QString& DisplayName,
                       bool InstallAutomatically, const QString& Version, const QStringList& ExtraOptions = {});
    /// Reads, changes and rewrites the main configuration document.
    bool editMainConfiguration(const std::function<void(QJsonObject&)>& Edit);

    QByteArray packageDocument(const QString& OutputName) const;
    /// Server paths of every object that the package document of OutputName names.
    QStringList objectPaths(const QString& OutputName) const;

private:
    QTemporaryDir m_root;
    QString m_errorText;
};

} // namespace testsupport
