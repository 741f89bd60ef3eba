#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QUrl>

#include <memory>
#include <optional>
#include <vector>

class QJsonObject;

namespace orvan::launcher {

class TPackage;

/// The main configuration document, parsed once at construction and immutable afterwards: the
/// launcher's own package, the offered packages and the service endpoints.
class TLauncherConfigurationReader
{
public:
    /// The most entries of "packages" a document may list. Every package may bring two documents
    /// to fetch and parse, so a longer list is refused as a whole rather than in part.
    static constexpr int MaximumPackageCount = 100;

    /// Parses Document; relative build URLs are resolved against baseUrl. Throws
    /// TLauncherConfigurationException with the parser's message when Document is not valid
    /// JSON, and (after logging it) when it lists more than MaximumPackageCount packages. Valid
    /// JSON that is not an object gives an empty configuration, and values of the wrong type take
    /// their defaults.
    TLauncherConfigurationReader(QByteArray document, QUrl baseUrl);
    ~TLauncherConfigurationReader();

    const QUrl& baseUrl() const { return m_baseUrl; }
    /// The raw document, byte for byte.
    const QByteArray& document() const { return m_document; }
    /// Null when the document has no "launcher" object.
    const std::shared_ptr<TPackage>& launcherPackage() const { return m_launcherPackage; }
    const std::vector<std::shared_ptr<TPackage>>& packages() const { return m_packages; }
    const QUrl& hardwareSurveyUrl() const { return m_hardwareSurveyUrl; }
    const QUrl& hintsUrl() const { return m_hintsUrl; }
    const QUrl& funnelUrl() const { return m_funnelUrl; }
    bool preventDefaultAutostart() const { return m_preventDefaultAutostart; }
    bool showPackageNames() const { return m_showPackageNames; }
    /// "serial": 0 when absent, MalformedSerial when present but not an integer from 0 to 2^53.
    qint64 serial() const { return m_serial; }
    /// Whether the document has a "serial" member at all, malformed or not.
    bool hasSerial() const { return m_hasSerial; }
    /// "expires": absent when the document has none; an invalid time when it is not a UTC time
    /// written as YYYY-MM-DDTHH:MM:SSZ.
    const std::optional<QDateTime>& expires() const { return m_expires; }

    static constexpr qint64 MalformedSerial = -1;

private:
    void read(const QJsonObject& root);

    QUrl m_baseUrl;
    QByteArray m_document;
    std::shared_ptr<TPackage> m_launcherPackage;
    std::vector<std::shared_ptr<TPackage>> m_packages;
    QUrl m_hardwareSurveyUrl;
    QUrl m_hintsUrl;
    QUrl m_funnelUrl;
    bool m_preventDefaultAutostart = false;
    bool m_showPackageNames = false;
    qint64 m_serial = 0;
    bool m_hasSerial = false;
    std::optional<QDateTime> m_expires;
};

} // namespace orvan::launcher
