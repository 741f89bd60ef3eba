#include "TLauncherConfigurationHandler.h"

#include "TConfigurationTrust.h"

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
#include <QtConcurrent>

#include <stdexcept>
#include <utility>

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
const QString TLauncherConfigurationHandler::signatureSuffix = QStringLiteral(".sig");
const QString TLauncherConfigurationHandler::pendingSuffix = QStringLiteral(".new");

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
    connect(&m_parseWatcher, &QFutureWatcher<TPackageConfigurationCache::TResult>::finished, this,
            &TLauncherConfigurationHandler::onConfigurationParsed);
}

TLauncherConfigurationHandler::~TLauncherConfigurationHandler()
{
    m_parseWatcher.waitForFinished();
}

QString TLauncherConfigurationHandler::savedConfigurationPath() const
{
    const QDir dataDirectory(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    return m_filesystemHelper->fileSystemHelper().resolvePathInsideDirectory(dataDirectory, savedConfigurationFileName);
}

void TLauncherConfigurationHandler::loadMainConfiguration()
{
    m_loadedFromDisk = false;
    const QStringList& keys = m_filesystemHelper->settings()->publicKeys;
    if (!keys.isEmpty() && !m_trust) {
        m_trust = std::make_unique<TConfigurationTrust>(keys, m_mainConfigurationUrl);
        m_signatureUrl = TConfigurationTrust::signatureUrl(m_mainConfigurationUrl);
    }
    m_unverifiedDocument.clear();
    m_receivedSignature.clear();
    m_signatureFailure.clear();
    m_errorTimer.start();
    // The pool may answer an invalid URL from inside addRequest; the timer must already run then.
    m_downloadPool->addRequest(m_mainConfigurationUrl);
    // Fetched side by side with the document, so that checking it costs no extra round trip.
    if (m_trust && m_errorTimer.isActive())
        m_downloadPool->addRequest(m_signatureUrl);
}

void TLauncherConfigurationHandler::onConfigurationDownloadFinished(QUrl url, QByteArray data)
{
    if (data.isEmpty()) {
        onConfigurationDownloadFailed(url, QNetworkReply::ContentNotFoundError, QStringLiteral("Data stream is empty"));
        return;
    }
    if (url == m_mainConfigurationUrl && m_errorTimer.isActive()) {
        if (m_trust) {
            // Counts as downloaded only once its signature has arrived and verifies.
            m_unverifiedDocument = data;
            m_unverifiedDocumentSource = deliveredFrom(url);
            judgeSignedMainConfiguration();
            return;
        }
        stopWaitingForMainConfiguration();
        acceptMainConfiguration(data, deliveredFrom(url));
        return;
    }
    if (m_trust && url == m_signatureUrl && m_errorTimer.isActive()) {
        m_receivedSignature = data;
        judgeSignedMainConfiguration();
        return;
    }
    if (m_configuration && url == m_configuration->hintsUrl()) {
        handleHints(data);
        return;
    }
    storePackageConfigurationData(url, data, deliveredFrom(url));
}

QUrl TLauncherConfigurationHandler::deliveredFrom(const QUrl& url) const
{
    const QUrl& finalUrl = m_downloadPool->reportedFinalUrl();
    return finalUrl.isEmpty() ? url : finalUrl;
}

void TLauncherConfigurationHandler::acceptMainConfiguration(const QByteArray& data, const QUrl& url)
{
    try {
        m_configuration = std::make_shared<TLauncherConfigurationReader>(data, withoutFileName(url));
    } catch (const TLauncherConfigurationException&) {
        emit mainConfigurationDownloadFailed();
        return;
    }
    saveMainConfiguration(data, QByteArray());
    warnIfSignatureUnchecked(*m_configuration);
    emit mainConfigurationLoaded();
}

void TLauncherConfigurationHandler::judgeSignedMainConfiguration()
{
    // Without its signature the document can't be used, so it is not waited for.
    if (!m_signatureFailure.isEmpty()) {
        stopWaitingForMainConfiguration();
        qCritical().noquote() << "Download of configuration failed: no signature:" << m_signatureFailure;
        loadSavedConfiguration();
        return;
    }
    // Waits until the document and its signature are both in, in either order.
    if (m_unverifiedDocument.isEmpty() || m_receivedSignature.isEmpty())
        return;
    acceptSignedMainConfiguration(std::exchange(m_receivedSignature, QByteArray()));
}

void TLauncherConfigurationHandler::acceptSignedMainConfiguration(const QByteArray& signatureText)
{
    const QByteArray data = std::exchange(m_unverifiedDocument, QByteArray());
    stopWaitingForMainConfiguration();
    const QString signatureRefusal = m_trust->checkSignature(data, signatureText).reason;
    if (!signatureRefusal.isEmpty()) {
        qCritical().noquote() << "Download of configuration failed: signature refused:" << signatureRefusal;
        loadSavedConfiguration();
        return;
    }
    std::shared_ptr<TLauncherConfigurationReader> configuration;
    try {
        configuration =
            std::make_shared<TLauncherConfigurationReader>(data, withoutFileName(m_unverifiedDocumentSource));
    } catch (const TLauncherConfigurationException&) {
        emit mainConfigurationDownloadFailed();
        return;
    }
    const QString refusal = freshnessRefusal(*configuration);
    if (!refusal.isEmpty()) {
        qCritical().noquote() << "Download of configuration failed:" << refusal;
        loadSavedConfiguration();
        return;
    }
    m_configurationOutOfDate = false;
    m_configuration = configuration;
    // Saved before its serial becomes the floor: a crash in between must leave a copy that passes.
    saveMainConfiguration(data, signatureText.trimmed() + '\n');
    m_trust->recordAccepted(*configuration);
    emit mainConfigurationLoaded();
}

QString TLauncherConfigurationHandler::freshnessRefusal(const TLauncherConfigurationReader& configuration)
{
    const TConfigurationTrust::TRefusal refusal =
        m_trust->checkFreshness(configuration, QDateTime::currentDateTimeUtc());
    if (refusal.expired)
        m_configurationOutOfDate = true;
    return refusal.reason;
}

void TLauncherConfigurationHandler::saveMainConfiguration(const QByteArray& data, const QByteArray& signature)
{
    try {
        const auto& files = m_filesystemHelper->fileSystemHelper();
        files.createFolder(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
        // Each file is replaced in one step: a crash while saving must not leave a broken fallback
        // copy. A signed document waits under its pending name until its signature is in place,
        // so that a crash at any point leaves a pair that verifies (see verifySavedCopy).
        const QString path = savedConfigurationPath();
        if (signature.isEmpty()) {
            files.writeFileAtomically(path, data);
            return;
        }
        files.writeFileAtomically(path + pendingSuffix, data);
        files.writeFileAtomically(path + signatureSuffix, signature);
        files.renameFile(path + pendingSuffix, path);
    } catch (const std::runtime_error& error) {
        emit diskAccessFailed(QString::fromUtf8(error.what()));
    }
}

void TLauncherConfigurationHandler::onConfigurationDownloadFailed(QUrl url, QNetworkReply::NetworkError code,
                                                                  QString errorString)
{
    if (m_trust && url == m_signatureUrl && m_errorTimer.isActive()) {
        m_signatureFailure = errorString.isEmpty() ? QStringLiteral("unknown error") : errorString;
        judgeSignedMainConfiguration();
        return;
    }
    if (url == m_mainConfigurationUrl) {
        // A late failure after the timer already fell back to the saved copy changes nothing.
        if (!m_errorTimer.isActive())
            return;
        qCritical() << "Download of configuration failed:" << errorString;
        stopWaitingForMainConfiguration();
        if (code == QNetworkReply::ContentAccessDenied || code == QNetworkReply::ContentNotFoundError)
            emit mainConfigurationDownloadFailed();
        else
            loadSavedConfiguration();
        return;
    }

    for (auto entry = m_pendingPackageConfigurations.begin(); entry != m_pendingPackageConfigurations.end(); ++entry) {
        if (entry->packageConfigurationUrl != url && entry->assetConfigurationUrl != url)
            continue;
        if (requestFromNextMirror(*entry, url, errorString))
            return;
        qCritical() << "Download of package configuration/asset from configuration" << url << "failed:" << errorString;
        m_pendingPackageConfigurations.erase(entry);
        if (packageConfigurationsSettled())
            emit packageConfigurationDownloadsFinished();
        return;
    }
}

void TLauncherConfigurationHandler::onErrorTimerExpired()
{
    stopWaitingForMainConfiguration();
    loadSavedConfiguration();
}

void TLauncherConfigurationHandler::stopWaitingForMainConfiguration()
{
    m_errorTimer.stop();
    // A late answer would be ignored; a transfer still under way is stopped instead of received.
    m_downloadPool->cancelRequest(m_mainConfigurationUrl);
    if (m_trust)
        m_downloadPool->cancelRequest(m_signatureUrl);
    m_unverifiedDocument.clear();
    m_receivedSignature.clear();
}

void TLauncherConfigurationHandler::loadSavedConfiguration()
{
    try {
        const QString path = savedConfigurationPath();
        QByteArray data = m_filesystemHelper->fileSystemHelper().readFileIfPresent(path);
        // Checked again at every load: the copy may have been replaced since it was saved.
        const QString signatureRefusal = m_trust ? verifySavedCopy(data) : QString();
        if (data.isEmpty()) {
            emit mainConfigurationDownloadFailed();
            return;
        }
        if (!signatureRefusal.isEmpty()) {
            qCritical().noquote() << "Saved configuration refused: signature refused:" << signatureRefusal;
            emit mainConfigurationDownloadFailed();
            return;
        }
        auto configuration =
            std::make_shared<TLauncherConfigurationReader>(data, withoutFileName(QUrl::fromLocalFile(path)));
        const QString refusal = m_trust ? freshnessRefusal(*configuration) : QString();
        if (!refusal.isEmpty()) {
            qCritical().noquote() << "Saved configuration refused:" << refusal;
            emit mainConfigurationDownloadFailed();
            return;
        }
        m_configuration = configuration;
        m_loadedFromDisk = true;
        warnIfSignatureUnchecked(*configuration);
    } catch (const std::runtime_error& error) {
        emit diskAccessFailed(QString::fromUtf8(error.what()));
        return;
    }
    emit mainConfigurationLoaded();
}

QString TLauncherConfigurationHandler::verifySavedCopy(QByteArray& data) const
{
    const auto& files = m_filesystemHelper->fileSystemHelper();
    const QString path = savedConfigurationPath();
    const QByteArray signature = files.readFileIfPresent(path + signatureSuffix);
    const QString refusal = m_trust->checkSignature(data, signature).reason;
    if (refusal.isEmpty())
        return refusal;
    // A save cut short after the new signature was written leaves its document under the pending name.
    const QByteArray pending = files.readFileIfPresent(path + pendingSuffix);
    if (!pending.isEmpty() && !m_trust->checkSignature(pending, signature).isRefused()) {
        data = pending;
        return QString();
    }
    return refusal;
}

void TLauncherConfigurationHandler::warnIfSignatureUnchecked(const TLauncherConfigurationReader& configuration) const
{
    if (m_trust)
        return;
    // Signs of a signed deployment: a launcher that lost its settings would otherwise trust anything.
    if (configuration.hasSerial() ||
        m_filesystemHelper->fileSystemHelper().fileExists(savedConfigurationPath() + signatureSuffix))
        qWarning() << "Signature of the main configuration not checked: no trusted public key is configured"
                   << "(launchersettings.ini missing or without publicKeys in [SECURITY])";
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

void TLauncherConfigurationHandler::storePackageConfigurationData(const QUrl& url, const QByteArray& data,
                                                                  const QUrl& source)
{
    for (auto entry = m_pendingPackageConfigurations.begin(); entry != m_pendingPackageConfigurations.end();) {
        const bool isPackageDocument = entry->packageConfigurationUrl == url;
        const bool isAssetDocument = entry->assetConfigurationUrl == url;
        if (!isPackageDocument && !isAssetDocument) {
            ++entry;
            continue;
        }
        if (isPackageDocument) {
            entry->packageConfigurationData = data;
            entry->packageConfigurationSource = source;
        }
        if (isAssetDocument) {
            entry->assetConfigurationData = data;
            entry->assetConfigurationSource = source;
        }
        if (entry->isWaiting()) {
            ++entry;
            continue;
        }
        if (entry->build)
            attachConfiguration(*entry);
        entry = m_pendingPackageConfigurations.erase(entry);
        if (packageConfigurationsSettled())
            emit packageConfigurationDownloadsFinished();
    }
}

void TLauncherConfigurationHandler::attachConfiguration(const TPendingPackageConfiguration& entry)
{
    // The installed documents were checked against their pins before they were installed.
    if (m_trust && !m_loadedFromDisk) {
        const QString refusal =
            TConfigurationTrust::pinRefusal(*entry.build, entry.packageConfigurationData, entry.assetConfigurationData);
        if (!refusal.isEmpty()) {
            qCritical().noquote() << "Package" << entry.packageName << "refused:" << refusal;
            m_refusedPackages.append(entry.packageName);
            // Without a configuration the package is neither installed, updated, nor started.
            entry.build->setConfiguration(nullptr);
            return;
        }
    }
    m_parseQueue.push_back(entry);
    parseNextConfiguration();
}

void TLauncherConfigurationHandler::parseNextConfiguration()
{
    // One at a time: the allowance of records each task gets is what the ones before it left.
    if (m_parsing || m_parseQueue.empty())
        return;
    m_parsing = true;
    const TPendingPackageConfiguration& entry = m_parseQueue.front();
    // Objects are resolved against the build's own location even when a mirror served the documents.
    TPackageConfigurationCache::TDocuments documents{
        entry.packageConfigurationData, entry.assetConfigurationData,
        withoutFileName(baseOfDocument(entry.packageConfigurationUrl, entry.packageConfigurationSource)),
        withoutFileName(baseOfDocument(entry.assetConfigurationUrl, entry.assetConfigurationSource))};
    m_parseWatcher.setFuture(
        QtConcurrent::run([documents = std::move(documents), snapshot = m_configurationCache.snapshot()] {
            return TPackageConfigurationCache::obtain(documents, snapshot);
        }));
}

void TLauncherConfigurationHandler::onConfigurationParsed()
{
    const TPackageConfigurationCache::TResult result = m_parseWatcher.result();
    const TPendingPackageConfiguration entry = std::move(m_parseQueue.front());
    m_parseQueue.pop_front();
    m_parsing = false;
    m_configurationCache.remember(result);
    entry.build->setConfiguration(result.reader);
    parseNextConfiguration();
    if (packageConfigurationsSettled())
        emit packageConfigurationDownloadsFinished();
}

bool TLauncherConfigurationHandler::packageConfigurationsSettled() const
{
    return m_pendingPackageConfigurations.empty() && m_parseQueue.empty();
}

bool TLauncherConfigurationHandler::requestFromNextMirror(TPendingPackageConfiguration& entry, const QUrl& url,
                                                          const QString& errorString)
{
    if (m_loadedFromDisk || !entry.build || entry.build->mirrors().isEmpty())
        return false;
    const TMirroredDocument tried = m_mirroredDocuments.value(url, {url, 0});
    const bool isPackageDocument = entry.packageConfigurationUrl == url;
    const QUrl home = isPackageDocument ? entry.build->url() : entry.build->assetsUrl();
    const QUrl next = withNocacheToken(entry.build->mirroredUrl(home, tried.mirror));
    if (!next.isValid())
        return false;
    qWarning() << "Download of package configuration/asset from configuration" << url << "failed:" << errorString
               << "- trying" << next;
    (isPackageDocument ? entry.packageConfigurationUrl : entry.assetConfigurationUrl) = next;
    m_mirroredDocuments.insert(next, {tried.firstRequestedUrl, tried.mirror + 1});
    // Not from inside this failure's handling: the pool may answer the request at once.
    QMetaObject::invokeMethod(
        this, [this, next] { m_downloadPool->addRequest(next); }, Qt::QueuedConnection);
    return true;
}

QUrl TLauncherConfigurationHandler::baseOfDocument(const QUrl& url, const QUrl& source) const
{
    const auto found = m_mirroredDocuments.constFind(url);
    return found == m_mirroredDocuments.constEnd() ? source : found->firstRequestedUrl;
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
            m_pendingPackageConfigurations.push_back({build,
                                                      launcherPackage->name(),
                                                      withNocacheToken(build->url()),
                                                      withNocacheToken(build->assetsUrl()),
                                                      {},
                                                      {},
                                                      {},
                                                      {}});
        }
    }
    const auto& settings = *m_filesystemHelper->settings();
    const auto& files = m_filesystemHelper->fileSystemHelper();
    for (const auto& package : m_configuration->packages()) {
        TPackageBuild* build = package->currentBuild();
        if (!build)
            continue;
        if (!m_loadedFromDisk) {
            m_pendingPackageConfigurations.push_back({build,
                                                      package->name(),
                                                      withNocacheToken(build->url()),
                                                      withNocacheToken(build->assetsUrl()),
                                                      {},
                                                      {},
                                                      {},
                                                      {}});
            continue;
        }
        // A package installed without an asset document has no assets.json; asking for it would fail
        // the whole entry and hide an installed game whenever the server is unreachable.
        const QDir installation(installationDirectoryOf(package->directoryName()));
        const QString assetFile = files.resolvePathInsideDirectory(installation, settings.assetFile);
        m_pendingPackageConfigurations.push_back(
            {build,
             package->name(),
             QUrl::fromLocalFile(files.resolvePathInsideDirectory(installation, settings.packageFile)),
             files.fileExists(assetFile) ? QUrl::fromLocalFile(assetFile) : QUrl(),
             {},
             {},
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
        if (packageConfigurationsSettled())
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
