#pragma once

#include "compression/EContainerAlgorithm.h"
#include "compression/TContainerEncoder.h"

#include <QString>
#include <QStringList>

#include <optional>

class QJsonObject;

namespace packbuilder {

/// Everything a package build needs. Texts left unset (std::nullopt) are taken from the package
/// description file of the source folder, if there is one.
struct TBuildOptions
{
    /// The name of the optional package description file at the top of a source folder; it is
    /// not part of the package.
    static const QString DescriptionFileName;
    static constexpr quint64 DefaultChunkThreshold = 16 * 1024 * 1024;

    QString sourceDirectory;
    QString outputDirectory;
    /// Files larger than this are cut into content-defined chunks; smaller ones are one object.
    quint64 chunkThreshold = DefaultChunkThreshold;
    shared::EContainerAlgorithm algorithm = shared::EContainerAlgorithm::Lzma;
    int level = shared::TContainerEncoder::DefaultLevel;

    /// Without a version, the build names the content: the first 12 hex digits of the SHA-256 of
    /// the package document, so that any change of the package gives a new version.
    std::optional<QString> version;
    std::optional<QString> executable;
    std::optional<QStringList> parameters;
    /// "first" or "second".
    std::optional<QString> generation;
    /// "regular", "preview", "beta" or "test".
    std::optional<QString> variant;
    /// Paths relative to the source folder that get the executable flag whatever their mode.
    QStringList executableFiles;
    /// Takes the executable flag of every file from its permission bits in the source folder.
    bool executableBitsFromSource = true;

    /// An optional second source folder published as the asset document.
    QString assetsSourceDirectory;
    /// Without one, the asset document's content names it, as for version.
    std::optional<QString> assetsVersion;

    QString packageFileName = QStringLiteral("package.json");
    QString assetFileName = QStringLiteral("assets.json");
    /// Decodes every object that is already in the store and rewrites those that don't match.
    bool verifyExistingObjects = false;
    /// Deletes objects and deltas that neither document written by this build refers to.
    bool pruneObjects = false;
    /// Chunk deltas are published against this many earlier versions of the output folder; 0
    /// publishes none and keeps no history.
    int deltaHistory = 3;
    /// zstd level of the deltas (1..19); 12 finds nearly what 19 finds in a twentieth of the time.
    int deltaLevel = 12;

    /// Fills the unset texts from a package description object (keys "version", "executable",
    /// "parameters", "generation", "variant", "assetsversion").
    void applyDescription(const QJsonObject& description);
    /// Reads the description file of the source folder when there is one.
    void applyDescriptionFileOfSource();
    /// Throws TPackBuildError when a value can't go into a package document.
    void validate() const;

    static shared::EContainerAlgorithm algorithmFromName(const QString& name);
};

} // namespace packbuilder
