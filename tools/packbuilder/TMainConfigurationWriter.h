#pragma once

#include "TMainConfigurationEntry.h"

#include <QJsonObject>
#include <QString>

namespace packbuilder {

/// Creates or updates a main configuration document: adds or replaces packages and their builds
/// for one platform, and sets the service URLs, keeping everything else in the document.
class TMainConfigurationWriter
{
public:
    /// Reads the document at Path when it exists; throws TPackBuildError when it isn't a JSON object.
    explicit TMainConfigurationWriter(QString path);

    /// Adds the package, or updates the entry with the same directory name (its build for the
    /// entry's platform is replaced; builds for other platforms stay).
    void setPackage(const TMainConfigurationEntry& entry);
    /// Key is "hints", "funnel" or "hardwaresurvey"; an empty URL removes the key.
    void setServiceUrl(const QString& key, const QString& url);
    /// Writes the document atomically.
    void write() const;

    const QJsonObject& document() const { return m_document; }

    /// The URL of targetPath relative to the folder of the main configuration at mainPath; throws
    /// when the target does not lie below that folder, which relative URLs can't reach.
    static QString relativeUrl(const QString& mainPath, const QString& targetPath);

private:
    QString m_path;
    QJsonObject m_document;
};

} // namespace packbuilder
