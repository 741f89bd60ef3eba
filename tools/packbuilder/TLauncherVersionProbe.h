#pragma once

#include <QString>

namespace packbuilder {

/// Asks a launcher bundle's program for the version it runs as, so that the launcher package
/// offers exactly the text that the installed launchers compare with their own.
class TLauncherVersionProbe
{
public:
    /// The program's file name at the top of a launcher bundle.
    static const QString ProgramName;

    /// Runs "<bundleFolder>/quenmar-launcher --version" in a throw-away home and returns the
    /// version of its answer "quenmar-launcher <version>". Throws TPackBuildError when the program
    /// is missing or does not answer so (an older launcher without --version).
    static QString versionOfBundle(const QString& bundleFolder, int timeoutMs = 20000);

    /// The version in Output, the program's standard output; empty unless it is one line
    /// "quenmar-launcher <version>".
    static QString parseAnswer(const QByteArray& output);
};

} // namespace packbuilder
