#pragma once

#include "randomhints/THint.h"

#include <QString>
#include <QTemporaryDir>

#include <memory>
#include <vector>

namespace shared {
class TDownloadPool;
}

namespace orvan::launcher {

class TCloudflareCdnTrace;
class TDownloadPreferences;
class TLauncherFilesystemHelper;
class TLauncherMainWindow;
class TPackage;
class TPackageInstallation;

/// Demo content for the main window: packages of every variant in the four states a player meets (not
/// installed, update required, installed, installing), three hints with pictures drawn on the fly, and the
/// window built from them with one installation under way.
class TPreviewScene
{
public:
    TPreviewScene(int packageCount, bool showPackageNames);
    ~TPreviewScene();

    TLauncherMainWindow& window() const { return *m_window; }
    /// Pauses the demo installation, whose item then shows "Paused".
    void pauseInstallation();
    /// Fills the hint panels; their pictures are local files, so this returns without waiting for a network.
    void showHints();

private:
    static std::shared_ptr<TPackage> createPackage(int index);
    std::vector<::shared::THint> createHints() const;
    void startDemoInstallation();

    QTemporaryDir m_imageDirectory;
    std::shared_ptr<TLauncherFilesystemHelper> m_helper;
    std::shared_ptr<::shared::TDownloadPool> m_downloadPool;
    std::shared_ptr<TCloudflareCdnTrace> m_cdnTrace;
    std::vector<std::shared_ptr<TPackage>> m_packages;
    std::unique_ptr<TLauncherMainWindow> m_window;
    std::shared_ptr<TPackageInstallation> m_installation;
    std::unique_ptr<TDownloadPreferences> m_downloadPreferences;
};

} // namespace orvan::launcher
