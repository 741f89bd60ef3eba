#pragma once

#include "TMainConfigurationEntry.h"

#include <QDateTime>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <optional>

namespace packbuilder {

class TSigningKey;

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
    /// The document's "serial"; none when absent. Throws when it is not an integer >= 0.
    std::optional<qint64> serial() const;
    void setSerial(qint64 serial);
    /// The document's "expires"; an invalid QDateTime when it is present but no UTC time.
    std::optional<QDateTime> expires() const;
    /// Sets "expires" (UTC, whole seconds).
    void setExpires(const QDateTime& time);
    /// "package (os/architecture)" of every build that lacks the pin of a document it names.
    QStringList unpinnedBuilds() const;

    /// Writes the document atomically and, with a key, then its detached signature next to it.
    /// Without a key, refuses (before writing) a document that has a signature.
    void write(const TSigningKey* signingKey = nullptr) const;

    /// Where the detached signature of the document at Path lives: Path + ".sig".
    static QString signaturePath(const QString& path);
    /// Throws when an unsigned write would leave the signature of the document at Path stale.
    static void checkUnsignedWrite(const QString& path);
    /// The pin of the document at Path: the SHA-256 of its bytes in lowercase hex.
    static QString documentPin(const QString& path);

    const QJsonObject& document() const { return m_document; }

    /// The URL of targetPath relative to the folder of the main configuration at mainPath; throws
    /// when the target does not lie below that folder, which relative URLs can't reach.
    static QString relativeUrl(const QString& mainPath, const QString& targetPath);

private:
    QString m_path;
    QJsonObject m_document;
};

} // namespace packbuilder
