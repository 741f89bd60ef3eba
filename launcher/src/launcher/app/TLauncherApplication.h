#pragma once

#include "TLauncherCommandLine.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QPointer>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

class QSplashScreen;

namespace shared {
class TDownloadPool;
class TDownloadRateLimiter;
class TTranslationManager;
} // namespace shared
namespace systemsurvey {
class TSystemSurveyUploader;
}

namespace orvan::launcher {

class TCloudflareCdnTrace;
class TFunnelEventSender;
class TInstallationManager;
class TLauncherConfigurationHandler;
class TDownloadPreferences;
class TLauncherFilesystemHelper;
class TLauncherMainWindow;
class TLauncherSelfUpdater;
class TPackage;

/// The application object: owns every long-lived component of the launcher, declares and parses
/// the command line, opens the log and drives the run from start-up to the client start.
class TLauncherApplication : public QApplication
{
    Q_OBJECT

public:
    static const QString launcherVersion;

    TLauncherApplication(int& argc, char** argv);
    ~TLauncherApplication() override;

    /// The process-wide application object (null before construction and after destruction).
    static TLauncherApplication* instance();

    /// Parses the process arguments; unknown options are ignored.
    void parseCommandLine();
    /// Opens the per-run log in the application-local data folder and installs the handler.
    void setupLogging();
    /// Logs the start lines, starts the main configuration download and the splash timer.
    void start();

    bool firstLaunchRequested() const;
    bool skipSelfUpdateRequested() const;
    bool showUiRequested() const;
    /// The client executable named by "--patch", empty when the option is absent.
    QString patchExecutable() const;

    std::shared_ptr<::shared::TDownloadPool> downloadPool() const { return m_downloadPool; }
    std::shared_ptr<TLauncherFilesystemHelper> filesystemHelper() const { return m_filesystemHelper; }
    /// The player's download rate limit and parallel downloads, over the publisher's defaults.
    TDownloadPreferences* downloadPreferences() const { return m_downloadPreferences; }
    /// The limit on the download rate of all installations together; follows downloadPreferences().
    const std::shared_ptr<::shared::TDownloadRateLimiter>& rateLimiter() const { return m_rateLimiter; }
    const QString& accountGroupKey() const { return m_accountGroupKey; }
    const QString& funnelUuidKey() const { return m_funnelUuidKey; }
    std::shared_ptr<TCloudflareCdnTrace> cdnTrace() const { return m_cdnTrace; }
    TLauncherConfigurationHandler* configurationHandler() const { return m_configurationHandler.get(); }
    TInstallationManager* installationManager() const { return m_installationManager.get(); }

    /// Called right before the launcher restarts itself, so that the new process does not find
    /// this one's single-instance lock.
    void setSingleInstanceRelease(std::function<void()> release) { m_releaseSingleInstance = std::move(release); }

    /// Posts a funnel milestone to the main configuration's funnel endpoint; returns at once.
    void sendFunnelEvent(const QString& step, const QString& firstSettingsKey);

    /// Longest wait at exit for funnel and survey posts that are still on their way.
    static constexpr int outstandingPostsTimeoutMs = 3000;

    /// Ends the run after the event loop returned, before the single-instance lock is let go:
    /// closes the window, stops every scan and verification and waits for every background task,
    /// then gives outstanding posts up to outstandingPostsTimeoutMs to be sent and answered.
    void finishBackgroundWork();

public slots:
    /// The main configuration could not be downloaded: tell the user and end with code 1.
    void reportMaintenance();
    /// A file could not be accessed: tell the user and end with code 1.
    void reportCriticalError(const QString& message);

private slots:
    void onMainConfigurationLoaded();
    void onPackageConfigurationsLoaded();
    void onLauncherReadyForAction();
    void restartAfterSelfUpdate();
    void onAllStartedUpdatesFinished();
    void onDefaultChanged(std::shared_ptr<TPackage> package, bool isDefault);
    void onClientStartOrInstallTriggeredFromUI(std::shared_ptr<TPackage> package);
    void onClientVerifyTriggeredFromUI(std::shared_ptr<TPackage> package);

private:
    void connectComponents();
    void createProgramLink();
    void uploadSurvey();
    void loadTranslation();
    void setApplicationIdentity();
    void readAccountGroupKey();
    void showSplashScreen();
    void showSplashScreen(const QString& image);
    void hideSplashScreen();
    /// Runs Step; a std::runtime_error from it ends the launcher through reportCriticalError.
    template <typename Step> void runReportingCriticalErrors(Step&& step);
    void decideSelfUpdate();
    /// Tells the player once about the packages whose documents did not match their pins.
    void reportRefusedPackages();
    void prepareForAction();
    void installAutomaticPackages(const std::vector<std::shared_ptr<TPackage>>& packages);
    void startDefaultClientOrShowWindow(const std::vector<std::shared_ptr<TPackage>>& packages);
    /// Updates the packages whose update was forced and the one named by "--patch".
    void patchPackages(const std::vector<std::shared_ptr<TPackage>>& packages,
                       std::vector<std::shared_ptr<TPackage>> forced);
    std::vector<std::shared_ptr<TPackage>> platformPackages() const;
    std::vector<std::shared_ptr<TPackage>> takeForcedPackages(const std::vector<std::shared_ptr<TPackage>>& packages);
    std::shared_ptr<TPackage> packageForPatchExecutable(const QString& executable) const;
    void showMainWindow(const std::vector<std::shared_ptr<TPackage>>& packages);
    void startPackageAndExit(const std::shared_ptr<TPackage>& package);
    void stopBackgroundTasks();
    bool postsOutstanding() const;
    void waitForOutstandingPosts();

    std::shared_ptr<::shared::TDownloadPool> m_downloadPool;
    std::shared_ptr<TLauncherFilesystemHelper> m_filesystemHelper;
    std::shared_ptr<::shared::TTranslationManager> m_translationManager;
    std::shared_ptr<TCloudflareCdnTrace> m_cdnTrace;
    std::unique_ptr<TLauncherConfigurationHandler> m_configurationHandler;
    std::unique_ptr<TLauncherSelfUpdater> m_selfUpdater;
    std::unique_ptr<TInstallationManager> m_installationManager;
    std::shared_ptr<systemsurvey::TSystemSurveyUploader> m_surveyUploader;
    TFunnelEventSender* m_funnelEventSender = nullptr;
    TDownloadPreferences* m_downloadPreferences = nullptr;
    std::shared_ptr<::shared::TDownloadRateLimiter> m_rateLimiter;
    QPointer<TLauncherMainWindow> m_mainWindow;
    QPointer<QSplashScreen> m_splashScreen;
    TLauncherCommandLine m_commandLine;
    QTimer m_splashTimer;
    QElapsedTimer m_clientStartTimer;
    QTimer m_exitTimer;
    QString m_accountGroupKey;
    QString m_funnelUuidKey;
    std::function<void()> m_releaseSingleInstance;
    bool m_singleInstanceReleased = false;
};

} // namespace orvan::launcher
