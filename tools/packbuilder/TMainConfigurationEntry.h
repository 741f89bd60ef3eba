#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace packbuilder {

/// One package as the main configuration document lists it, with its build for one platform.
struct TMainConfigurationEntry
{
    QString name;
    /// Identifies the package in the document: an entry with the same directory name is updated.
    QString directoryName;
    std::optional<bool> installAutomatically;
    std::optional<QString> logoLinkTarget;
    /// URL of the build's package document, relative to the main configuration's folder or absolute.
    QString packageUrl;
    /// URL of the build's asset document; empty when the build has none.
    QString assetsUrl;
    /// SHA-256 (64 lowercase hex digits) of the package document's bytes; empty writes no pin.
    QString packageSha256;
    /// SHA-256 of the asset document's bytes; empty writes no pin.
    QString assetsSha256;
    QString operatingSystem = QStringLiteral("linux");
    QString architecture = QStringLiteral("x86_64");
    /// Base URLs of copies of the build's published folder ("mirrors"); with none, an updated build
    /// keeps the mirrors it had and a new one gets no key.
    QStringList mirrors;
    /// The entry is the launcher's own package ("launcher") rather than one of "packages".
    bool isLauncher = false;
};

} // namespace packbuilder
