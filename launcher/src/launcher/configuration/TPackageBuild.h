#pragma once

#include "EArchitecture.h"
#include "EOperatingSystem.h"
#include "TLocationRule.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <memory>

class QJsonObject;
class QJsonValue;

namespace orvan::launcher {

class TPackageConfigurationReader;

/// One build of a package for an operating system and architecture: where its package and
/// asset configuration documents are, and their parsed contents once they have arrived.
class TPackageBuild
{
public:
    TPackageBuild(EOperatingSystem operatingSystem, EArchitecture architecture, QUrl url, QUrl assetsUrl);
    /// Reads a build object; "url" and "assetsurl" are resolved against baseUrl.
    static TPackageBuild fromJson(const QJsonObject& object, const QUrl& baseUrl);

    EOperatingSystem operatingSystem() const { return m_operatingSystem; }
    EArchitecture architecture() const { return m_architecture; }
    const QUrl& url() const { return m_url; }
    /// Empty when the build has no asset document.
    const QUrl& assetsUrl() const { return m_assetsUrl; }
    /// SHA-256 (hexadecimal) that pins the package document's bytes; empty when the build has none.
    const QString& sha256() const { return m_sha256; }
    /// SHA-256 (hexadecimal) that pins the asset document's bytes; empty when the build has none.
    const QString& assetsSha256() const { return m_assetsSha256; }
    void setPins(QString sha256, QString assetsSha256);
    /// Base URLs of copies of the build's location (the folder of its package document), tried in
    /// this order after the location itself; each ends with "/". Empty when the build has none.
    const QList<QUrl>& mirrors() const { return m_mirrors; }
    void setMirrors(QList<QUrl> mirrors);
    /// The build's location: the folder of its package document, without query or fragment.
    QUrl location() const;
    /// Where copies of what lies below location() are: location() itself, then mirrors().
    TLocationRule locationRule() const;
    /// The "mirrors" member of a build object: its absolute http(s) URLs, each made to end with
    /// "/". A member of another type and each entry that is no such URL are logged and skipped.
    static QList<QUrl> readMirrors(const QJsonValue& value);

    /// The parsed documents of this build, or null until they have been fetched. Holders keep a
    /// replaced configuration alive until they let go of it.
    std::shared_ptr<const TPackageConfigurationReader> configuration() const { return m_configuration; }
    void setConfiguration(std::shared_ptr<const TPackageConfigurationReader> configuration);

    /// Case-insensitive "windows", "macos", "linux"; anything else is Unknown.
    static EOperatingSystem operatingSystemFromText(const QString& text);
    /// Case-insensitive "i386", "x86_64"; anything else is Unknown.
    static EArchitecture architectureFromText(const QString& text);
    /// The system this program runs on, as the toolkit reports it.
    static EOperatingSystem runningOperatingSystem();
    /// The architecture this program was built for.
    static EArchitecture runningArchitecture();

private:
    EOperatingSystem m_operatingSystem;
    EArchitecture m_architecture;
    QUrl m_url;
    QUrl m_assetsUrl;
    QString m_sha256;
    QString m_assetsSha256;
    QList<QUrl> m_mirrors;
    std::shared_ptr<const TPackageConfigurationReader> m_configuration;
};

} // namespace orvan::launcher
