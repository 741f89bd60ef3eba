#pragma once

#include "packbuilder/TMainConfigurationEntry.h"

#include <QString>

class QCommandLineParser;
class QTextStream;

namespace quenmarpack {

/// The options that describe a package's entry in a main configuration document, shared by the
/// build and main-config subcommands.
class TMainConfigOptions
{
public:
    static void addTo(QCommandLineParser& parser);
    /// The help lines of these options.
    static QString usage();
    /// True with --launcher: the package is the launcher's own.
    static bool isLauncher(const QCommandLineParser& parser);
    /// Refuses, with --launcher, the options that only game packages have.
    static void checkLauncherOptions(const QCommandLineParser& parser);
    /// Checks everything that can be checked before anything is written: the launcher options,
    /// the present main configuration, the signing key, and that an unsigned write leaves no
    /// stale signature.
    static void check(const QCommandLineParser& parser);

    /// Adds or updates the package published in packageFolder (its package document, and its
    /// asset document when one exists) in the main configuration that Parser names with
    /// --main-config. defaultName names the package when --name is not given. Warnings about
    /// what launchers would refuse go to Err.
    static void apply(const QCommandLineParser& parser, const QString& packageFolder, const QString& packageFileName,
                      const QString& assetFileName, const QString& defaultName, QTextStream& err);
};

} // namespace quenmarpack
