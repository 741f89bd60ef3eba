#include "TLauncherApplication.h"

#include "QuenmarVersion.h"
#include "TClientStarter.h"
#include "artwork/LauncherArtwork.h"
#include "cdntrace/TCloudflareCdnTrace.h"
#include "configuration/ELocalPackageStatus.h"
#include "configuration/TLauncherConfigurationReader.h"
#include "configuration/TPackage.h"
#include "configuration/TPackageConfigurationReader.h"
#include "configurationhandler/TLauncherConfigurationHandler.h"
#include "funnel/TFunnelEventSender.h"
#include "installation/TPackageInstallation.h"
#include "installationmanager/TInstallationManager.h"
#include "installationmanager/TReservedFileNames.h"
#include "jsonupload/TJsonDocumentHttpPostSender.h"
#include "logging/TLogMessageHandler.h"
#include "mainwindow/TLauncherMainWindow.h"
#include "messagebox/TMessageBoxPresenter.h"
#include "network/QNetworkAccessManagerWrapper.h"
#include "network/TDownloadPool.h"
#include "network/TDownloadRateLimiter.h"
#include "selfupdate/TLauncherSelfUpdater.h"
#include "settings/TAccountGroupFile.h"
#include "settings/TDownloadPreferences.h"
#include "settings/TLauncherFilesystemHelper.h"
#include "survey/TSystemSurveyAsJsonDocumentCreator.h"
#include "survey/TSystemSurveyCreator.h"
#include "survey/TSystemSurveyToJsonConverter.h"
#include "survey/TSystemSurveyUploader.h"
#include "survey/TSystemSurveyValueRetriever.h"
#include "translation/TTranslationManager.h"

#include <QDebug>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QProcess>
#include <QSplashScreen>
#include <QStandardPaths>
#include <QThread>
#include <QThreadPool>

#include <exception>
#include <stdexcept>
#include <utility>

namespace orvan::launcher {

namespace {

TLauncherApplication* applicationInstance = nullptr;
constexpr int mainPoolParallelRequests = 6;
constexpr int exitTimerIntervalMs = 200;

} // namespace

const QString TLauncherApplication::launcherVersion = QStringLiteral(QUENMAR_VERSION);

TLauncherApplication::TLauncherApplication(int& argc, char** argv) : QApplication(argc, argv)
{
    auto networkAccessManager = std::make_shared<QNetworkAccessManager>();
    auto networkWrapper = std::make_shared<::shared::QNetworkAccessManagerWrapper>(networkAccessManager);
    m_downloadPool = std::make_shared<::shared::TDownloadPool>(mainPoolParallelRequests, networkWrapper, true);
    m_filesystemHelper = std::make_shared<TLauncherFilesystemHelper>();
    m_translationManager = std::make_shared<::shared::TTranslationManager>();
    m_cdnTrace =
        std::make_shared<TCloudflareCdnTrace>(m_downloadPool, m_filesystemHelper->settings()->cdnDiagnosticsTrace);
    m_configurationHandler = std::make_unique<TLauncherConfigurationHandler>(m_downloadPool, m_filesystemHelper);
    m_selfUpdater = std::make_unique<TLauncherSelfUpdater>(m_filesystemHelper);

    m_funnelUuidKey = TFunnelEventSender::funnelUuidKey;
    m_funnelEventSender = new TFunnelEventSender(this);
    applicationInstance = this;

    loadTranslation();
    setApplicationIdentity();
    // The per-user store is keyed by the identity set just above.
    m_downloadPreferences = new TDownloadPreferences(m_filesystemHelper->settings()->maxDownloadRate,
                                                     m_filesystemHelper->settings()->maxConcurrentDownloads, this);
    // One limit for the transfers of every installation, the self-update's included.
    m_rateLimiter = std::make_shared<::shared::TDownloadRateLimiter>(m_downloadPreferences->maxDownloadRate());
    connect(m_downloadPreferences, &TDownloadPreferences::changed, this,
            [this] { m_rateLimiter->setRate(m_downloadPreferences->maxDownloadRate()); });
    m_selfUpdater->setDownloadPreferences(m_downloadPreferences, m_rateLimiter);

    m_splashTimer.setSingleShot(true);
    m_splashTimer.setInterval(static_cast<int>(m_filesystemHelper->settings()->waitNotificationTimeout));
    connect(&m_splashTimer, &QTimer::timeout, this, qOverload<>(&TLauncherApplication::showSplashScreen));

    readAccountGroupKey();

    m_exitTimer.setSingleShot(false);
    m_exitTimer.setInterval(exitTimerIntervalMs);
    connect(&m_exitTimer, &QTimer::timeout, this, [this] {
        m_exitTimer.stop();
        exit(0);
    });

    connectComponents();
}

TLauncherApplication::~TLauncherApplication()
{
    delete m_splashScreen.data();
    delete m_mainWindow.data();
    m_surveyUploader.reset();
    m_installationManager.reset();
    m_selfUpdater.reset();
    m_configurationHandler.reset();
    m_cdnTrace.reset();
    if (applicationInstance == this)
        applicationInstance = nullptr;
}

TLauncherApplication* TLauncherApplication::instance()
{
    return applicationInstance;
}

void TLauncherApplication::connectComponents()
{
    auto* handler = m_configurationHandler.get();
    connect(handler, &TLauncherConfigurationHandler::mainConfigurationLoaded, this,
            &TLauncherApplication::onMainConfigurationLoaded);
    connect(handler, &TLauncherConfigurationHandler::mainConfigurationDownloadFailed, this,
            &TLauncherApplication::reportMaintenance);
    connect(handler, &TLauncherConfigurationHandler::diskAccessFailed, this,
            &TLauncherApplication::reportCriticalError);
    connect(handler, &TLauncherConfigurationHandler::packageConfigurationDownloadsFinished, this,
            &TLauncherApplication::onPackageConfigurationsLoaded);
    auto* updater = m_selfUpdater.get();
    connect(updater, &TLauncherSelfUpdater::updateDownloadFinishedAndRestartRequired, this,
            &TLauncherApplication::restartAfterSelfUpdate);
    connect(updater, &TLauncherSelfUpdater::updateFailed, this, &TLauncherApplication::onLauncherReadyForAction);
    connect(updater, &TLauncherSelfUpdater::diskAccessFailed, this, &TLauncherApplication::reportCriticalError);
}

void TLauncherApplication::loadTranslation()
{
    const QString catalogue = QStringLiteral("launcher.en");
    // A system installation keeps its data files apart from the program, in <prefix>/share.
    if (!m_translationManager->loadCatalogue(catalogue, applicationDirPath()))
        m_translationManager->loadCatalogue(catalogue,
                                            applicationDirPath() + QStringLiteral("/../share/quenmar-launcher"));
}

void TLauncherApplication::setApplicationIdentity()
{
    setApplicationName(QStringLiteral("Quenmar Online"));
    setApplicationDisplayName(QStringLiteral("Quenmar Online"));
    setOrganizationName(QStringLiteral("Brelmor GmbH"));
    setOrganizationDomain(QStringLiteral("brelmor.de"));
    // Lets Wayland compositors match the windows with the installed desktop entry.
    setDesktopFileName(QStringLiteral("de.brelmor.QuenmarLauncher"));
}

void TLauncherApplication::readAccountGroupKey()
{
    m_accountGroupKey = TAccountGroupFile::readKey(m_filesystemHelper->accountGroupFilePath(),
                                                   m_filesystemHelper->accountGroupFileExists());
}

void TLauncherApplication::parseCommandLine()
{
    m_commandLine.parse(arguments());
}

bool TLauncherApplication::firstLaunchRequested() const
{
    return m_commandLine.firstLaunchRequested();
}

bool TLauncherApplication::skipSelfUpdateRequested() const
{
    return m_commandLine.skipSelfUpdateRequested();
}

bool TLauncherApplication::showUiRequested() const
{
    return m_commandLine.showUiRequested();
}

QString TLauncherApplication::patchExecutable() const
{
    return m_commandLine.patchExecutable();
}

void TLauncherApplication::setupLogging()
{
    try {
        TLogMessageHandler::install(QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation),
                                    QFileInfo(applicationFilePath()).fileName());
    } catch (const std::exception& e) {
        qWarning() << "couldn't setup logging. exception: " << e.what();
    } catch (...) {
        qWarning() << "couldn't setup logging";
    }
}

void TLauncherApplication::start()
{
    qInfo() << "Version:" << launcherVersion << " Thread: " << QThread::currentThreadId();
    qInfo() << "load configuration"
            << " Thread: " << QThread::currentThreadId();
    m_configurationHandler->loadMainConfiguration();
    m_splashTimer.start();
}

void TLauncherApplication::sendFunnelEvent(const QString& step, const QString& firstSettingsKey)
{
    const auto configuration = m_configurationHandler->configuration();
    m_funnelEventSender->sendFunnelEvent(configuration ? configuration->funnelUrl() : QUrl(), m_accountGroupKey, step,
                                         firstSettingsKey);
}

void TLauncherApplication::uploadSurvey()
{
    const auto configuration = m_configurationHandler->configuration();
    if (!configuration || !configuration->hardwareSurveyUrl().isValid())
        return;
    auto retriever = std::make_shared<systemsurvey::TSystemSurveyValueRetriever>();
    auto creator = std::make_shared<systemsurvey::TSystemSurveyCreator>(retriever);
    auto converter = std::make_shared<systemsurvey::TSystemSurveyToJsonConverter>();
    auto documentCreator = std::make_shared<systemsurvey::TSystemSurveyAsJsonDocumentCreator>(creator, converter);
    auto sender = std::make_shared<::shared::TJsonDocumentHttpPostSender>();
    m_surveyUploader = std::make_shared<systemsurvey::TSystemSurveyUploader>(sender, configuration->hardwareSurveyUrl(),
                                                                             documentCreator);
    m_surveyUploader->uploadSurvey();
}

void TLauncherApplication::onMainConfigurationLoaded()
{
    uploadSurvey();
    m_configurationHandler->requestPackageConfigurations();
    createProgramLink();
}

void TLauncherApplication::createProgramLink()
{
    // A stable path to the running launcher in the user's data folder, for desktop entries.
    const QString dataLocation = QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).absolutePath();
    const QString linkPath =
        m_filesystemHelper->fileSystemHelper().joinPath({dataLocation, QFileInfo(applicationFilePath()).fileName()});
    const QFileInfo existing(linkPath);
    if (existing.isSymLink() && !existing.symLinkTarget().isEmpty())
        return;
    if (existing.isDir() && !existing.isSymLink()) {
        // A real folder of that name holds someone's files; the link is not worth them.
        qWarning() << "program link not created, a folder is in the way:" << linkPath;
        return;
    }
    QDir().mkpath(dataLocation);
    QFile::remove(linkPath);
    QFile::link(applicationFilePath(), linkPath);
}

void TLauncherApplication::onPackageConfigurationsLoaded()
{
    decideSelfUpdate();
}

template <typename Step> void TLauncherApplication::runReportingCriticalErrors(Step&& step)
{
    try {
        std::forward<Step>(step)();
    } catch (const std::runtime_error& error) {
        reportCriticalError(QString::fromUtf8(error.what()));
    }
}

void TLauncherApplication::decideSelfUpdate()
{
    bool readyForAction = false;
    runReportingCriticalErrors([this, &readyForAction] {
        const auto configuration = m_configurationHandler->configuration();
        const bool updateOffered = !skipSelfUpdateRequested() && configuration &&
                                   TLauncherSelfUpdater::isUpdateOffered(*configuration, launcherVersion);
        if (updateOffered && TLauncherSelfUpdater::isProgramFolderWritable()) {
            m_selfUpdater->startSelfUpdate(configuration);
            showSplashScreen(QStringLiteral(":/images/launcher/LauncherLogo_UpdatingLauncher.png"));
            return;
        }
        // A program folder the user can't write belongs to a system installation, which the
        // package manager updates; it is left exactly as it is.
        if (updateOffered)
            qInfo().noquote() << "Self-update skipped: the program folder is not writable:"
                              << QDir::toNativeSeparators(applicationDirPath());
        else
            m_selfUpdater->cleanupOldLauncherVersion(configuration);
        readyForAction = true;
    });
    if (readyForAction)
        onLauncherReadyForAction();
}

void TLauncherApplication::restartAfterSelfUpdate()
{
    QStringList arguments = QCoreApplication::arguments();
    const QString program = applicationFilePath();
    if (!arguments.isEmpty())
        arguments.removeFirst(); // the program path; startDetached takes it separately
    arguments.append(m_commandLine.skipSelfUpdateArgument());
    if (m_releaseSingleInstance)
        m_releaseSingleInstance();
    m_singleInstanceReleased = true;
    const bool started = QProcess::startDetached(program, arguments, QDir::currentPath());
    exit(started ? 0 : 1);
}

std::vector<std::shared_ptr<TPackage>> TLauncherApplication::platformPackages() const
{
    std::vector<std::shared_ptr<TPackage>> packages;
    for (const auto& package : m_configurationHandler->configuration()->packages()) {
        if (package->currentConfiguration())
            packages.push_back(package);
    }
    return packages;
}

std::vector<std::shared_ptr<TPackage>>
TLauncherApplication::takeForcedPackages(const std::vector<std::shared_ptr<TPackage>>& packages)
{
    std::vector<std::shared_ptr<TPackage>> forced;
    for (const auto& package : packages) {
        const QString marker =
            m_installationManager->packageDirectory(package).absoluteFilePath(TReservedFileNames::ForcePatchMarkerName);
        if (m_filesystemHelper->removeMarkerFile(marker))
            forced.push_back(package);
    }
    return forced;
}

std::shared_ptr<TPackage> TLauncherApplication::packageForPatchExecutable(const QString& executable) const
{
    const QString wanted = QDir::cleanPath(executable);
    for (const auto& package : m_configurationHandler->configuration()->packages()) {
        const QString path = m_installationManager->clientExecutablePath(package);
        if (!path.isEmpty() && QDir::cleanPath(path) == wanted)
            return package;
    }
    return nullptr;
}

void TLauncherApplication::prepareForAction()
{
    m_installationManager =
        std::make_unique<TInstallationManager>(m_configurationHandler->configuration(), m_filesystemHelper);
    m_installationManager->setDownloadPreferences(m_downloadPreferences, m_rateLimiter);
    connect(m_installationManager.get(), &TInstallationManager::funnelEventRequested, this,
            &TLauncherApplication::sendFunnelEvent);
    connect(m_installationManager.get(), &TInstallationManager::allStartedUpdatesFinished, this,
            &TLauncherApplication::onAllStartedUpdatesFinished);
    connect(m_installationManager.get(), &TInstallationManager::diskAccessFailed, this,
            &TLauncherApplication::reportCriticalError);
}

void TLauncherApplication::onLauncherReadyForAction()
{
    qInfo() << "onLauncherReadyForAction"
            << " Thread: " << QThread::currentThreadId();
    runReportingCriticalErrors([this] {
        prepareForAction();
        const auto packages = platformPackages();
        auto forced = takeForcedPackages(packages);
        hideSplashScreen();
        reportRefusedPackages();
        if (firstLaunchRequested())
            installAutomaticPackages(packages);
        else if (patchExecutable().isEmpty() && forced.empty())
            startDefaultClientOrShowWindow(packages);
        else
            patchPackages(packages, std::move(forced));
    });
}

void TLauncherApplication::installAutomaticPackages(const std::vector<std::shared_ptr<TPackage>>& packages)
{
    showMainWindow(packages);
    bool first = true;
    for (const auto& package : m_configurationHandler->configuration()->packages()) {
        if (!package->installAutomatically())
            continue;
        m_installationManager->installOrUpdatePackage(package);
        if (first)
            m_installationManager->setDefaultPackage(package);
        first = false;
    }
}

void TLauncherApplication::startDefaultClientOrShowWindow(const std::vector<std::shared_ptr<TPackage>>& packages)
{
    const auto defaultPackage = m_installationManager->defaultPackage();
    if (!showUiRequested() && defaultPackage && defaultPackage->localPackageStatus() == ELocalPackageStatus::Installed)
        startPackageAndExit(defaultPackage);
    else
        showMainWindow(packages);
}

void TLauncherApplication::patchPackages(const std::vector<std::shared_ptr<TPackage>>& packages,
                                         std::vector<std::shared_ptr<TPackage>> forced)
{
    const QString patchValue = patchExecutable();
    const auto patched = patchValue.isEmpty() ? nullptr : packageForPatchExecutable(patchValue);
    showMainWindow(packages);
    if (patched)
        forced.push_back(patched);
    if (forced.empty()) {
        TMessageBoxPresenter::show(QMessageBox::Information, QStringLiteral("Client patching failed"),
                                   QStringLiteral("Could not determine patch information. Your client might no "
                                                  "longer be supported."),
                                   QMessageBox::Ok, QMessageBox::NoButton, m_mainWindow.data());
        return;
    }
    for (const auto& package : forced)
        m_installationManager->installOrUpdatePackage(package);
}

void TLauncherApplication::showMainWindow(const std::vector<std::shared_ptr<TPackage>>& packages)
{
    const auto configuration = m_configurationHandler->configuration();
    auto* window = new TLauncherMainWindow(packages, configuration, m_downloadPool, m_cdnTrace,
                                           configuration->showPackageNames(), launcherVersion);
    connect(m_installationManager.get(), &TInstallationManager::installationOrUpdateStarted, window,
            &TLauncherMainWindow::onInstallationOrUpdateStarted);
    connect(m_installationManager.get(), &TInstallationManager::installationOrUpdateFinished, window,
            &TLauncherMainWindow::onInstallationOrUpdateFinished);
    const auto defaultPackage = m_installationManager->defaultPackage();
    window->setDefaultIndex(defaultPackage ? defaultPackage->packageIndex() : -1);
    sendFunnelEvent(QStringLiteral("launcher_started"), QStringLiteral("FunnelStartedFirst"));
    // The old window may be the sender of the signal that led here; let it go later.
    if (m_mainWindow)
        m_mainWindow->deleteLater();
    m_mainWindow = window;
    if (configuration->hintsUrl().isValid()) {
        connect(m_configurationHandler.get(), &TLauncherConfigurationHandler::hintsAreaDataReceived, window,
                &TLauncherMainWindow::setHints);
        m_configurationHandler->downloadPool()->addRequest(configuration->hintsUrl(),
                                                           TLauncherConfigurationHandler::HintsMaxResponseBytes);
    }
    connect(window, &TLauncherMainWindow::defaultChanged, this, &TLauncherApplication::onDefaultChanged);
    connect(window, &TLauncherMainWindow::clientPackageButtonClicked, this,
            &TLauncherApplication::onClientStartOrInstallTriggeredFromUI);
    connect(window, &TLauncherMainWindow::clientPackageVerifyButtonClicked, this,
            &TLauncherApplication::onClientVerifyTriggeredFromUI);
    window->setDownloadPreferences(m_downloadPreferences);
    connect(window, &TLauncherMainWindow::clientPackagePauseRequested, this,
            [this](const std::shared_ptr<TPackage>& package, bool pause) {
                if (const auto installation = m_installationManager->findRunning(package))
                    pause ? installation->pause() : installation->resume();
            });
    window->show();
}

void TLauncherApplication::onAllStartedUpdatesFinished()
{
    const auto configuration = m_configurationHandler->configuration();
    if (!configuration || configuration->preventDefaultAutostart())
        return;
    runReportingCriticalErrors([this] {
        if (firstLaunchRequested()) {
            const auto defaultPackage = m_installationManager->defaultPackage();
            if (defaultPackage && defaultPackage->localPackageStatus() == ELocalPackageStatus::Installed)
                startPackageAndExit(defaultPackage);
            return;
        }
        const QString patchValue = patchExecutable();
        if (patchValue.isEmpty())
            return;
        if (const auto patched = packageForPatchExecutable(patchValue))
            startPackageAndExit(patched);
    });
}

void TLauncherApplication::onDefaultChanged(std::shared_ptr<TPackage> package, bool isDefault)
{
    runReportingCriticalErrors([&] { m_installationManager->setDefaultPackage(isDefault ? package : nullptr); });
}

void TLauncherApplication::onClientStartOrInstallTriggeredFromUI(std::shared_ptr<TPackage> package)
{
    qInfo() << "onClientStartOrInstallTriggeredFromUI " << package->name() << " Thread: " << QThread::currentThreadId();
    runReportingCriticalErrors([&] {
        switch (package->localPackageStatus()) {
        case ELocalPackageStatus::Installed:
            startPackageAndExit(package);
            break;
        case ELocalPackageStatus::NotInstalled:
        case ELocalPackageStatus::PartiallyInstalled:
        case ELocalPackageStatus::UpdateRequired:
            m_installationManager->installOrUpdatePackage(package);
            break;
        case ELocalPackageStatus::Unknown:
            break;
        }
    });
}

void TLauncherApplication::onClientVerifyTriggeredFromUI(std::shared_ptr<TPackage> package)
{
    qInfo() << "onClientVerifyTriggeredFromUI " << package->name() << " Thread: " << QThread::currentThreadId();
    if (package->localPackageStatus() != ELocalPackageStatus::Installed)
        return;
    runReportingCriticalErrors([&] { m_installationManager->verifyPackage(package); });
}

void TLauncherApplication::startPackageAndExit(const std::shared_ptr<TPackage>& package)
{
    qInfo() << "startPackageAndExit" << package->name() << " Thread: " << QThread::currentThreadId();
    const QString executable = m_installationManager->clientExecutablePath(package);
    const auto configuration = package->currentConfiguration();
    QStringList arguments = configuration ? configuration->parameters() : QStringList();
    TClientStarter::checkClientSettings(m_installationManager->packageDirectory(package));
    if (package->packageIsUpToDateFlag())
        arguments.append(TClientStarter::upToDateArgument);
    if (executable.isEmpty())
        return;
    const QString folder = QFileInfo(executable).absolutePath();
    if (!TClientStarter::isUsableLibraryFolder(folder)) {
        qWarning() << "client folder contains ':', the client is not started:" << folder;
        hideSplashScreen();
        TMessageBoxPresenter::show(QMessageBox::Critical, QStringLiteral("Quenmar Online cannot start"),
                                   QStringLiteral("The client folder\n") + folder +
                                       QStringLiteral("\ncontains ':', which the client's library path can't hold. "
                                                      "The client was not started."),
                                   QMessageBox::Ok);
        exit(1);
        return;
    }
    if (!TClientStarter::startDetached(executable, arguments)) {
        exit(1);
        return;
    }
    m_clientStartTimer.start();
    m_exitTimer.start();
    if (m_mainWindow)
        m_mainWindow->close();
}

void TLauncherApplication::finishBackgroundWork()
{
    m_splashTimer.stop();
    m_exitTimer.stop();
    // Nothing that still arrives may start a client, a restart or a dialog.
    m_configurationHandler->disconnect(this);
    m_selfUpdater->disconnect(this);
    delete m_splashScreen.data();
    delete m_mainWindow.data();
    stopBackgroundTasks();
    // After a restart the new launcher owns the log file: this one must not linger and write into it.
    if (!m_singleInstanceReleased)
        waitForOutstandingPosts();
}

void TLauncherApplication::stopBackgroundTasks()
{
    if (m_installationManager) {
        for (const auto& installation : m_installationManager->runningInstallations())
            installation->cancelBackgroundWork();
        // Each installation waits for its own tasks when it goes.
        m_installationManager.reset();
    }
    // Released downloaders wait for their chunk steps in their destructors.
    sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QThreadPool::globalInstance()->waitForDone();
}

bool TLauncherApplication::postsOutstanding() const
{
    return m_funnelEventSender->pendingEventCount() > 0 || (m_surveyUploader && m_surveyUploader->isUploading());
}

void TLauncherApplication::waitForOutstandingPosts()
{
    if (!postsOutstanding())
        return;
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    const auto quitWhenSent = [this, &loop] {
        if (!postsOutstanding())
            loop.quit();
    };
    connect(m_funnelEventSender, &TFunnelEventSender::funnelEventFinished, &loop, quitWhenSent);
    if (m_surveyUploader)
        connect(m_surveyUploader.get(), &::shared::TJsonDocumentUploaderBase::finished, &loop, quitWhenSent);
    deadline.start(outstandingPostsTimeoutMs);
    loop.exec();
    if (postsOutstanding())
        qWarning() << "posts still outstanding at exit are dropped";
}

void TLauncherApplication::showSplashScreen()
{
    showSplashScreen(QStringLiteral(":/images/launcher/LauncherLogo_QT.png"));
}

void TLauncherApplication::showSplashScreen(const QString& image)
{
    ensureLauncherResources();
    delete m_splashScreen.data();
    m_splashScreen = new QSplashScreen(QPixmap(image));
    m_splashScreen->show();
    // A shown window paints only once the window system has exposed it; the flow goes on right after this.
    processEvents();
    m_splashTimer.stop();
}

void TLauncherApplication::hideSplashScreen()
{
    m_splashTimer.stop();
    if (m_splashScreen)
        m_splashScreen->hide();
}

void TLauncherApplication::reportMaintenance()
{
    hideSplashScreen();
    const QString text =
        m_configurationHandler->isConfigurationOutOfDate()
            ? QStringLiteral("The service configuration of Quenmar Online is out of date. Please try again later.")
            : QStringLiteral("Quenmar Online is currently down for maintenance. Please try again later.");
    TMessageBoxPresenter::show(QMessageBox::Information, QStringLiteral("Quenmar Online cannot be started"), text,
                               QMessageBox::Close);
    exit(1);
}

void TLauncherApplication::reportRefusedPackages()
{
    const QStringList& refused = m_configurationHandler->refusedPackages();
    if (refused.isEmpty())
        return;
    TMessageBoxPresenter::show(QMessageBox::Warning, QStringLiteral("Update data could not be verified"),
                               QStringLiteral("The update data offered for %1 could not be verified, so it is not "
                                              "installed, updated or started. Please try again later.")
                                   .arg(refused.join(QStringLiteral(", "))),
                               QMessageBox::Ok);
}

void TLauncherApplication::reportCriticalError(const QString& message)
{
    hideSplashScreen();
    TMessageBoxPresenter::show(QMessageBox::Critical, QStringLiteral("Quenmar Online cannot start"),
                               QStringLiteral("A critical error occurred while accessing a file:\n") + message +
                                   QStringLiteral("\nPlease reinstall Launcher."),
                               QMessageBox::Ok);
    exit(1);
}

} // namespace orvan::launcher
