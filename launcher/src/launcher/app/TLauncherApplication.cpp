#include "TLauncherApplication.h"

#include "TMessageBoxPresenter.h"
#include "cdntrace/TCloudflareCdnTrace.h"
#include "configuration/TLauncherConfigurationReader.h"
#include "configurationhandler/TLauncherConfigurationHandler.h"
#include "funnel/TFunnelEventSender.h"
#include "installationmanager/TInstallationManager.h"
#include "jsonupload/TJsonDocumentHttpPostSender.h"
#include "logging/TLogMessageHandler.h"
#include "network/QNetworkAccessManagerWrapper.h"
#include "network/TDownloadPool.h"
#include "settings/TAccountGroupFile.h"
#include "settings/TLauncherFilesystemHelper.h"
#include "survey/TSystemSurveyAsJsonDocumentCreator.h"
#include "survey/TSystemSurveyCreator.h"
#include "survey/TSystemSurveyToJsonConverter.h"
#include "survey/TSystemSurveyUploader.h"
#include "survey/TSystemSurveyValueRetriever.h"
#include "translation/TTranslationManager.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkAccessManager>
#include <QSplashScreen>
#include <QStandardPaths>
#include <QThread>

#include <exception>
#include <stdexcept>

namespace orvan::launcher {

namespace {

TLauncherApplication* applicationInstance = nullptr;
constexpr int mainPoolParallelRequests = 6;
constexpr int exitTimerIntervalMs = 200;

} // namespace

const QString TLauncherApplication::launcherVersion = QStringLiteral("0.0.13");

TLauncherApplication::TLauncherApplication(int& argc, char** argv)
    : QApplication(argc, argv),
      m_firstLaunchOption({QStringLiteral("l"), QStringLiteral("first-launch")},
                          QStringLiteral("Automatically download default packages when starting up.")),
      m_skipSelfUpdateOption({QStringLiteral("s"), QStringLiteral("skip-selfupdate")},
                             QStringLiteral("Do not perform self-update check on launch.")),
      m_showUiOption({QStringLiteral("u"), QStringLiteral("show-ui")},
                     QStringLiteral("Show list of available packages after intial checks.")),
      m_patchOption({QStringLiteral("p"), QStringLiteral("patch")},
                    QStringLiteral("Start update of <patchexecutable> without user interaction."),
                    QStringLiteral("patchexecutable"))
{
    auto networkAccessManager = std::make_shared<QNetworkAccessManager>();
    auto networkWrapper = std::make_shared<::shared::QNetworkAccessManagerWrapper>(networkAccessManager);
    m_downloadPool = std::make_shared<::shared::TDownloadPool>(mainPoolParallelRequests, networkWrapper, true);
    m_filesystemHelper = std::make_shared<TLauncherFilesystemHelper>();
    m_translationManager = std::make_shared<orvan::shared::TTranslationManager>();
    m_cdnTrace =
        std::make_shared<TCloudflareCdnTrace>(m_downloadPool, m_filesystemHelper->settings()->cdnDiagnosticsTrace);
    m_configurationHandler = std::make_unique<TLauncherConfigurationHandler>(m_downloadPool, m_filesystemHelper);

    declareCommandLineOptions();
    m_funnelUuidKey = TFunnelEventSender::funnelUuidKey;
    m_funnelEventSender = new TFunnelEventSender(this);
    applicationInstance = this;

    loadTranslation();
    setApplicationIdentity();

    m_splashTimer.setSingleShot(true);
    m_splashTimer.setInterval(static_cast<int>(m_filesystemHelper->settings()->waitNotificationTimeout));
    connect(&m_splashTimer, &QTimer::timeout, this, &TLauncherApplication::showSplashScreen);

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
    m_surveyUploader.reset();
    m_installationManager.reset();
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
}

void TLauncherApplication::declareCommandLineOptions()
{
    m_commandLineParser.addOption(m_firstLaunchOption);
    m_commandLineParser.addOption(m_skipSelfUpdateOption);
    m_commandLineParser.addOption(m_showUiOption);
    m_commandLineParser.addOption(m_patchOption);
}

void TLauncherApplication::loadTranslation()
{
    m_translationManager->loadCatalogue(QStringLiteral("launcher.en"), applicationDirPath());
}

void TLauncherApplication::setApplicationIdentity()
{
    setApplicationName(QStringLiteral("Quenmar Online"));
    setApplicationDisplayName(QStringLiteral("Quenmar Online"));
    setOrganizationName(QStringLiteral("Brelmor GmbH"));
    setOrganizationDomain(QStringLiteral("brelmor.de"));
}

void TLauncherApplication::readAccountGroupKey()
{
    m_accountGroupKey = TAccountGroupFile::readKey(m_filesystemHelper->accountGroupFilePath(),
                                                   m_filesystemHelper->accountGroupFileExists());
}

void TLauncherApplication::parseCommandLine()
{
    m_commandLineParser.parse(arguments());
}

bool TLauncherApplication::firstLaunchRequested() const
{
    return m_commandLineParser.isSet(m_firstLaunchOption);
}

bool TLauncherApplication::skipSelfUpdateRequested() const
{
    return m_commandLineParser.isSet(m_skipSelfUpdateOption);
}

bool TLauncherApplication::showUiRequested() const
{
    return m_commandLineParser.isSet(m_showUiOption);
}

QString TLauncherApplication::patchExecutable() const
{
    return m_commandLineParser.value(m_patchOption);
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
    QDir().mkpath(dataLocation);
    if (QDir(linkPath).exists())
        QDir(linkPath).removeRecursively();
    else
        QFile::remove(linkPath);
    QFile::link(applicationFilePath(), linkPath);
}

void TLauncherApplication::onPackageConfigurationsLoaded()
{
    onLauncherReadyForAction();
}

void TLauncherApplication::onLauncherReadyForAction()
{
    qInfo() << "onLauncherReadyForAction"
            << " Thread: " << QThread::currentThreadId();
    try {
        m_installationManager =
            std::make_unique<TInstallationManager>(m_configurationHandler->configuration(), m_filesystemHelper);
    } catch (const std::runtime_error& error) {
        reportCriticalError(QString::fromUtf8(error.what()));
        return;
    }
    hideSplashScreen();
}

void TLauncherApplication::showSplashScreen()
{
    delete m_splashScreen.data();
    processEvents();
    m_splashScreen = new QSplashScreen(QPixmap(QStringLiteral(":/images/launcher/LauncherLogo_QT.png")));
    m_splashScreen->show();
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
    TMessageBoxPresenter::show(
        QMessageBox::Information, QStringLiteral("Quenmar Online cannot be started"),
        QStringLiteral("Quenmar Online is currently down for maintenance. Please try again later."),
        QMessageBox::Close);
    exit(1);
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
