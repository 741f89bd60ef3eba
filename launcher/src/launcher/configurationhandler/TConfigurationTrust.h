#pragma once

#include "signing/TEd25519Verifier.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QUrl>

namespace orvan::launcher {

class TLauncherConfigurationReader;
class TPackageBuild;

/// What a signed deployment demands of the documents it is offered: a main configuration signed
/// by a trusted key, not older than the newest one accepted on this machine and not expired, and
/// package and asset documents whose bytes match the SHA-256 pins of their build.
class TConfigurationTrust
{
public:
    /// Per-user settings key of the highest "serial" accepted by launchers that kept one value for
    /// every main configuration URL; the first trust built afterwards moves it to its own URL.
    static const QString LegacyHighestSerialKey;

    /// Per-user settings key of the highest "serial" accepted from the main configuration at Url.
    static QString highestSerialKey(const QUrl& configurationUrl);

    struct TRefusal
    {
        QString reason;
        /// The document is past its "expires" time.
        bool expired = false;

        bool isRefused() const { return !reason.isEmpty(); }
    };

    /// Parses the trusted keys (each malformed one is logged and left out) for the main
    /// configuration served at configurationUrl, whose serials are counted apart from other URLs'.
    TConfigurationTrust(const QStringList& keyTexts, QUrl configurationUrl);

    /// The signature's URL: ".sig" appended to the path of the document's URL.
    static QUrl signatureUrl(const QUrl& documentUrl);

    TRefusal checkSignature(const QByteArray& document, const QByteArray& signatureText) const;
    /// Refuses a document with a lower (or malformed) serial than the highest accepted one, and
    /// one whose expiry time has passed at Now (or is malformed).
    TRefusal checkFreshness(const TLauncherConfigurationReader& configuration, const QDateTime& now) const;
    /// Remembers the configuration's serial when it is the highest accepted so far.
    void recordAccepted(const TLauncherConfigurationReader& configuration) const;
    /// Empty when both documents match the build's pins (no asset document needs no asset pin).
    static QString pinRefusal(const TPackageBuild& build, const QByteArray& packageDocument,
                              const QByteArray& assetDocument);

private:
    qint64 highestAcceptedSerial() const;
    /// Gives the legacy highest serial, when there is one, to this trust's URL as its floor.
    void adoptLegacyHighestSerial() const;

    ::shared::TEd25519Verifier m_verifier;
    QUrl m_configurationUrl;
};

} // namespace orvan::launcher
