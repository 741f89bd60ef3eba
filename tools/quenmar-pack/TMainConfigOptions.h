#pragma once

#include "packbuilder/TMainConfigurationEntry.h"

#include <QString>

class QCommandLineParser;

namespace quenmarpack {

/// The options that describe a package's entry in a main configuration document, shared by the
/// build and main-config subcommands.
class TMainConfigOptions
{
public:
    static void addTo(QCommandLineParser& Parser);
    /// The help lines of these options.
    static QString usage();

    /// Adds or updates the package published in PackageFolder (its package document, and its
    /// asset document when one exists) in the main configuration that Parser names with
    /// --main-config. DefaultName names the package when --name is not given.
    static void apply(const QCommandLineParser& Parser, const QString& PackageFolder, const QString& PackageFileName,
                      const QString& AssetFileName, const QString& DefaultName);
};

} // namespace quenmarpack
