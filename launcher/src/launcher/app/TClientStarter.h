#pragma once

#include <QDir>
#include <QString>
#include <QStringList>

namespace orvan::launcher {

/// Starts a game client the way the launcher always has: checks the client's settings document
/// (warnings only), points LD_LIBRARY_PATH at the client's folder and starts it detached there.
class TClientStarter
{
public:
    static const QString upToDateArgument;
    static const QString clientSettingsPath;

    /// Logs what is wrong with <packageDirectory>/QuenmarOnlineClient_Data/Data/Settings/settings.json.
    static void checkClientSettings(const QDir& packageDirectory);
    /// False when Folder can't stand in LD_LIBRARY_PATH: a ':' would split it into two entries.
    static bool isUsableLibraryFolder(const QString& folder);
    /// Starts Executable detached with Arguments in its own folder; false when it could not start.
    static bool startDetached(const QString& executable, const QStringList& arguments);
};

} // namespace orvan::launcher
