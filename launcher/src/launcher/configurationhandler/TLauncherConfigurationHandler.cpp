#include "TLauncherConfigurationHandler.h"

#include "configuration/TLauncherConfigurationException.h"
#include "configuration/TLauncherConfigurationReader.h"
#include "configuration/TPackage.h"
#include "configuration/TPackageBuild.h"
#include "configuration/TPackageConfigurationReader.h"
#include "network/TDownloadPool.h"
#include "randomhints/ChooseHint.h"
#include "randomhints/ParseHints.h"
#include "randomnumbergenerator/TRandomNumberGenerator.h"
#include "settings/TLauncherFilesystemHelper.h"

#include <QDateTime>
#include <QDebug>
#include <QStandardPaths>
#include <QUrlQuery>

#include <stdexcept>

namespace orvan::launcher {

namespace {

const QString tokenAlphabet = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789");
constexpr int tokenLength = 32;

QUrl withoutFileName(const QUrl& url)
{
    return url.adjusted(QUrl::RemoveFilename);
}

} // namespace

const QString TLauncherConfigurationHandler::savedConfigurationFileName = QStringLiteral("launchermetadata.json");

bool TLauncherConfigurationHandler::TPendingPackageConfiguration::isWaiting() const
{
    return (packageConfigurationUrl.isValid() && packageConfigurationData.isEmpty()) ||
           (assetConfigurationUrl.isValid() && assetConfigurationData.isEmpty());
}

TLauncherConfigurationHandler::TLauncherConfigurationHandler(
    std::shared_ptr<::shared::TDownloadPool> downloadPool, std::shared_ptr<TLauncherFilesystemHelper> filesystemHelper)
    : m_downloadPool(std::move(downloadPool)), m_filesystemHelper(std::move(filesystemHelper)),
      m_mainConfigurationUrl(m_filesystemHelper->settings()->launcherConfiguration)
{
    ::shared::THint::registerMetaTypes();
    // The signals spell the type with its global qualifier, so the meta-type system needs that
    // spelling too.
    qRegisterMetaType<::shared::THint>("::shared::THint");
    qRegisterMetaType<std::vector<::shared::THint>>("std::vector< ::shared::THint>");
    m_errorTimer.setSingleShot(true);
    m_errorTimer.setInterval(static_cast<int>(m_filesystemHelper->settings()->downloadErrorTimeout));
    connect(m_downloadPool.get(), &::shared::TDownloadPool::success, this,
            &TLauncherConfigurationHandler::onConfigurationDownloadFinished);
    connect(m_downloadPool.get(), &::shared::TDownloadPool::failed, this,
            &TLauncherConfigurationHandler::onConfigurationDownloadFailed);
    connect(&m_errorTimer, &QTimer::timeout, this, &TLauncherConfigurationHandler::onErrorTimerExpired);
}

TLauncherConfigurationHandler::~TLauncherConfigurationHandler() = default;

QString TLauncherConfigurationHandler::savedConfigurationPath() const
{
    const QDir dataDirectory(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    return m_filesystemHelper->fileSystemHelper().resolvePathInsideDirectory(dataDirectory, savedConfigurationFileName);
}

void TLauncherConfigurationHandler::loadMainConfiguration()
{
    m_loadedFromDisk = false;
    m_errorTimer.start();
    // The pool may answer an invalid URL from inside addRequest; the timer must already run then.
    m_downloadPool->addRequest(m_mainConfigurationUrl);
}

void TLauncherConfigurationHandler::onConfigurationDownloadFinished(QUrl url, QByteArray data)
{
    if (data.isEmpty()) {
        onConfigurationDownloadFailed(url, QNetworkReply::ContentNotFoundError, QStringLiteral("Data stream is empty"));
        return;
    }
    if (url == m_mainConfigurationUrl && m_errorTimer.isActive()) {
        m_errorTimer.stop();
        acceptMainConfiguration(data, url);
        return;
    }
    if (m_configuration && url == m_configuration->hintsUrl()) {
        handleHints(data);
        return;
    }
    storePackageConfigurationData(url, data);
}

void TLauncherConfigurationHandler::acceptMainConfiguration(const QByteArray& data, const QUrl& url)
{
    try {
        m_configuration = std::make_shared<TLauncherConfigurationReader>(data, withoutFileName(url));
    } catch (const TLauncherConfigurationException&) {
        emit mainConfigurationDownloadFailed();
        return;
    }
    try {
        const auto& files = m_filesystemHelper->fileSystemHelper();
        files.createFolder(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
        // Replaced in one step: a crash while saving must not leave a broken fallback copy.
        files.writeFileAtomically(savedConfigurationPath(), data);
    } catch (const std::runtime_error& error) {
        emit diskAccessFailed(QString::fromUtf8(error.what()));
    }
    emit mainConfigurationLoaded();
}

void TLauncherConfigurationHandler::onConfigurationDownloadFailed(QUrl url, QNetworkReply::NetworkError code,
                                                                  QString errorString)
{
    if (url == m_mainConfigurationUrl) {
        // A late failure after the timer already fell back to the saved copy changes nothing.
        if (!m_errorTimer.isActive())
            return;
        qCritical() << "Download of configuration failed:" << errorString;
        m_errorTimer.stop();
        if (code == QNetworkReply::ContentAccessDenied || code == QNetworkReply::ContentNotFoundError)
            emit mainConfigurationDownloadFailed();
        else
            loadSavedConfiguration();
        return;
    }

    for (auto entry = m_pendingPackageConfigurations.begin(); entry != m_pendingPackageConfigurations.end(); ++entry) {
        if (entry->packageConfigurationUrl != url && entry->assetConfigurationUrl != url)
            continue;
        qCritical() << "Download of package configuration/asset from configuration" << url << "failed:" << errorString;
        m_pendingPackageConfigurations.erase(entry);
        if (m_pendingPackageConfigurations.empty())
            emit packageConfigurationDownloadsFinished();
        return;
    }
}

void TLauncherConfigurationHandler::onErrorTimerExpired()
{
    m_errorTimer.stop();
    // Its late answer would be ignored; stop it instead of receiving it.
    m_downloadPool->cancelRequest(m_mainConfigurationUrl);
    loadSavedConfiguration();
}

void TLauncherConfigurationHandler::loadSavedConfiguration()
{
    try {
        const QString path = savedConfigurationPath();
        const QByteArray data = m_filesystemHelper->fileSystemHelper().readFileIfPresent(path);
        if (data.isEmpty()) {
            emit mainConfigurationDownloadFailed();
            return;
        }
        m_configuration =
            std::make_shared<TLauncherConfigurationReader>(data, withoutFileName(QUrl::fromLocalFile(path)));
        m_loadedFromDisk = true;
    } catch (const std::runtime_error& error) {
        emit diskAccessFailed(QString::fromUtf8(error.what()));
        return;
    }
    emit mainConfigurationLoaded();
}

void TLauncherConfigurationHandler::handleHints(const QByteArray& data)
{
    std::vector<::shared::THint> parsed = ::shared::parseHints(data);
    if (parsed.empty())
        return;
    const std::optional<::shared::THint> chosen = ::shared::chooseHint(parsed, QDateTime::currentDateTimeUtc());
    if (!chosen)
        return;
    m_currentHint = *chosen;
    m_hints = parsed;
    emit hintAreaDataReceived(m_currentHint);
    emit hintsAreaDataReceived(m_hints);
}

void TLauncherConfigurationHandler::storePackageConfigurationData(const QUrl& url, const QByteArray& data)
{
    for (auto entry = m_pendingPackageConfigurations.begin(); entry != m_pendingPackageConfigurations.end();) {
        const bool isPackageDocument = entry->packageConfigurationUrl == url;
        const bool isAssetDocument = entry->assetConfigurationUrl == url;
        if (!isPackageDocument && !isAssetDocument) {
            ++entry;
            continue;
        }
        if (isPackageDocument)
            entry->packageConfigurationData = data;
        if (isAssetDocument)
            entry->assetConfigurationData = data;
        if (entry->isWaiting()) {
            ++entry;
            continue;
        }
        if (entry->build) {
            entry->build->setConfiguration(std::make_shared<const TPackageConfigurationReader>(
                entry->packageConfigurationData, entry->assetConfigurationData,
                withoutFileName(entry->packageConfigurationUrl), withoutFileName(entry->assetConfigurationUrl)));
        }
        entry = m_pendingPackageConfigurations.erase(entry);
        if (m_pendingPackageConfigurations.empty())
            emit packageConfigurationDownloadsFinished();
    }
}

QUrl TLauncherConfigurationHandler::withNocacheToken(const QUrl& url)
{
    if (!m_filesystemHelper->settings()->appendNocacheToPackageUrls || !url.isValid())
        return url;
    if (!m_randomNumberGenerator)
        m_randomNumberGenerator = std::make_unique<::shared::TRandomNumberGenerator>();
    QString token;
    token.reserve(tokenLength);
    for (int i = 0; i < tokenLength; ++i)
        token.append(tokenAlphabet.at(
            static_cast<int>(m_randomNumberGenerator->randomIndex(0, static_cast<quint64>(tokenAlphabet.size() - 1)))));
    QUrl result(url);
    QUrlQuery query(result.query());
    query.addQueryItem(QStringLiteral("nocache"), token);
    result.setQuery(query);
    return result;
}

QString TLauncherConfigurationHandler::installationDirectoryOf(const QString& directoryName) const
{
    const auto& files = m_filesystemHelper->fileSystemHelper();
    return files.resolvePathInsideDirectory(m_filesystemHelper->packagesDirectory(), directoryName);
}

void TLauncherConfigurationHandler::addPendingEntries()
{
    if (!m_loadedFromDisk) {
        const auto& launcherPackage = m_configuration->launcherPackage();
        if (launcherPackage && launcherPackage->currentBuild()) {
            TPackageBuild* build = launcherPackage->currentBuild();
            m_pendingPackageConfigurations.push_back(
                {build, withNocacheToken(build->url()), withNocacheToken(build->assetsUrl()), {}, {}});
        }
    }
    const auto& settings = *m_filesystemHelper->settings();
    const auto& files = m_filesystemHelper->fileSystemHelper();
    for (const auto& package : m_configuration->packages()) {
        TPackageBuild* build = package->currentBuild();
        if (!build)
            continue;
        if (!m_loadedFromDisk) {
            m_pendingPackageConfigurations.push_back(
                {build, withNocacheToken(build->url()), withNocacheToken(build->assetsUrl()), {}, {}});
            continue;
        }
        // A package installed without an asset document has no assets.json; asking for it would fail
        // the whole entry and hide an installed game whenever the server is unreachable.
        const QDir installation(installationDirectoryOf(package->directoryName()));
        const QString assetFile = files.resolvePathInsideDirectory(installation, settings.assetFile);
        m_pendingPackageConfigurations.push_back(
            {build,
             QUrl::fromLocalFile(files.resolvePathInsideDirectory(installation, settings.packageFile)),
             files.fileExists(assetFile) ? QUrl::fromLocalFile(assetFile) : QUrl(),
             {},
             {}});
    }
}

void TLauncherConfigurationHandler::requestPackageConfigurations()
{
    if (!m_configuration)
        return;
    const std::size_t firstNewEntry = m_pendingPackageConfigurations.size();
    try {
        addPendingEntries();
    } catch (const std::runtime_error& error) {
        emit diskAccessFailed(QString::fromUtf8(error.what()));
        return;
    }
    if (m_pendingPackageConfigurations.size() == firstNewEntry) {
        if (m_pendingPackageConfigurations.empty())
            emit packageConfigurationDownloadsFinished();
        return;
    }
    // Copy the URLs first: a refused URL is answered from inside addRequest and may shrink the list.
    std::vector<QUrl> urls;
    for (std::size_t i = firstNewEntry; i < m_pendingPackageConfigurations.size(); ++i) {
        urls.push_back(m_pendingPackageConfigurations[i].packageConfigurationUrl);
        urls.push_back(m_pendingPackageConfigurations[i].assetConfigurationUrl);
    }
    for (const QUrl& url : urls) {
        if (!url.isValid())
            continue;
        // The installed documents are files this handler named itself; the pool only fetches from the network.
        if (m_loadedFromDisk)
            QMetaObject::invokeMethod(
                this, [this, url] { readInstalledDocument(url); }, Qt::QueuedConnection);
        else
            m_downloadPool->addRequest(url);
    }
}

void TLauncherConfigurationHandler::readInstalledDocument(const QUrl& url)
{
    const QString path = url.toLocalFile();
    const auto& files = m_filesystemHelper->fileSystemHelper();
    QByteArray data;
    try {
        if (!files.fileExists(path)) {
            onConfigurationDownloadFailed(url, QNetworkReply::ContentNotFoundError,
                                          QStringLiteral("Error opening %1: No such file or directory").arg(path));
            return;
        }
        data = files.readFile(path);
    } catch (const std::runtime_error& error) {
        onConfigurationDownloadFailed(url, QNetworkReply::ContentAccessDenied, QString::fromUtf8(error.what()));
        return;
    }
    onConfigurationDownloadFinished(url, data);
}

} // namespace orvan::launcher
