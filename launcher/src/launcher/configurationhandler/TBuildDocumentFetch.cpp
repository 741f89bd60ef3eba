#include "TBuildDocumentFetch.h"

#include "TConfigurationTrust.h"

#include "configuration/TLauncherConfigurationReader.h"
#include "configuration/TPackage.h"
#include "configuration/TPackageBuild.h"
#include "network/TDownloadPool.h"
#include "randomnumbergenerator/TRandomNumberGenerator.h"
#include "settings/TLauncherFilesystemHelper.h"

#include <QDebug>
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

bool TBuildDocumentFetch::TEntry::isWaiting() const
{
    return (packageConfigurationUrl.isValid() && packageConfigurationData.isEmpty()) ||
           (assetConfigurationUrl.isValid() && assetConfigurationData.isEmpty());
}

TBuildDocumentFetch::TBuildDocumentFetch(std::shared_ptr<::shared::TDownloadPool> downloadPool,
                                         std::shared_ptr<TLauncherFilesystemHelper> filesystemHelper)
    : m_downloadPool(std::move(downloadPool)), m_filesystemHelper(std::move(filesystemHelper))
{
    connect(m_downloadPool.get(), &::shared::TDownloadPool::success, this, &TBuildDocumentFetch::onDownloadFinished);
    connect(m_downloadPool.get(), &::shared::TDownloadPool::failed, this, &TBuildDocumentFetch::onDownloadFailed);
    connect(&m_parseWatcher, &QFutureWatcher<TPackageConfigurationCache::TResult>::finished, this,
            &TBuildDocumentFetch::onParsed);
}

TBuildDocumentFetch::~TBuildDocumentFetch()
{
    m_parseWatcher.waitForFinished();
}

void TBuildDocumentFetch::request(const TLauncherConfigurationReader& configuration, TMode mode)
{
    m_mode = mode;
    const std::size_t firstNewEntry = m_pending.size();
    try {
        addEntries(configuration);
    } catch (const std::runtime_error& error) {
        emit diskAccessFailed(QString::fromUtf8(error.what()));
        return;
    }
    if (m_pending.size() == firstNewEntry) {
        finishIfSettled();
        return;
    }
    // Copy the URLs first: a refused URL is answered from inside addRequest and may shrink the list.
    std::vector<QUrl> urls;
    for (std::size_t i = firstNewEntry; i < m_pending.size(); ++i) {
        urls.push_back(m_pending[i].packageConfigurationUrl);
        urls.push_back(m_pending[i].assetConfigurationUrl);
    }
    for (const QUrl& url : urls) {
        if (!url.isValid())
            continue;
        // The installed documents are files this fetch named itself; the pool only fetches from the network.
        if (m_mode.fromInstallation)
            QMetaObject::invokeMethod(
                this, [this, url] { readInstalledDocument(url); }, Qt::QueuedConnection);
        else
            m_downloadPool->addRequest(url);
    }
}

void TBuildDocumentFetch::addEntries(const TLauncherConfigurationReader& configuration)
{
    if (!m_mode.fromInstallation) {
        const auto& launcherPackage = configuration.launcherPackage();
        if (launcherPackage && launcherPackage->currentBuild())
            m_pending.push_back(entryFromNetwork(launcherPackage->currentBuild(), launcherPackage->name()));
    }
    for (const auto& package : configuration.packages()) {
        TPackageBuild* build = package->currentBuild();
        if (!build)
            continue;
        m_pending.push_back(m_mode.fromInstallation
                                ? entryFromInstallation(build, package->name(), package->directoryName())
                                : entryFromNetwork(build, package->name()));
    }
}

TBuildDocumentFetch::TEntry TBuildDocumentFetch::entryFromNetwork(TPackageBuild* build, const QString& packageName)
{
    TEntry entry;
    entry.build = build;
    entry.packageName = packageName;
    entry.packageConfigurationUrl = withNocacheToken(build->url());
    entry.assetConfigurationUrl = withNocacheToken(build->assetsUrl());
    return entry;
}

TBuildDocumentFetch::TEntry TBuildDocumentFetch::entryFromInstallation(TPackageBuild* build, const QString& packageName,
                                                                       const QString& directoryName) const
{
    const auto& settings = *m_filesystemHelper->settings();
    const auto& files = m_filesystemHelper->fileSystemHelper();
    const QDir installation(files.resolvePathInsideDirectory(m_filesystemHelper->packagesDirectory(), directoryName));
    // A package installed without an asset document has no assets.json; asking for it would fail
    // the whole entry and hide an installed game whenever the server is unreachable.
    const QString assetFile = files.resolvePathInsideDirectory(installation, settings.assetFile);
    TEntry entry;
    entry.build = build;
    entry.packageName = packageName;
    entry.packageConfigurationUrl =
        QUrl::fromLocalFile(files.resolvePathInsideDirectory(installation, settings.packageFile));
    entry.assetConfigurationUrl = files.fileExists(assetFile) ? QUrl::fromLocalFile(assetFile) : QUrl();
    return entry;
}

void TBuildDocumentFetch::readInstalledDocument(const QUrl& url)
{
    const QString path = url.toLocalFile();
    const auto& files = m_filesystemHelper->fileSystemHelper();
    QByteArray data;
    try {
        if (!files.fileExists(path)) {
            onDownloadFailed(url, QNetworkReply::ContentNotFoundError,
                             QStringLiteral("Error opening %1: No such file or directory").arg(path));
            return;
        }
        data = files.readFile(path);
    } catch (const std::runtime_error& error) {
        onDownloadFailed(url, QNetworkReply::ContentAccessDenied, QString::fromUtf8(error.what()));
        return;
    }
    onDownloadFinished(url, data);
}

void TBuildDocumentFetch::onDownloadFinished(const QUrl& url, const QByteArray& data)
{
    if (data.isEmpty()) {
        onDownloadFailed(url, QNetworkReply::ContentNotFoundError, QStringLiteral("Data stream is empty"));
        return;
    }
    const QUrl& finalUrl = m_downloadPool->reportedFinalUrl();
    store(url, data, finalUrl.isEmpty() ? url : finalUrl);
}

void TBuildDocumentFetch::store(const QUrl& url, const QByteArray& data, const QUrl& source)
{
    for (auto entry = m_pending.begin(); entry != m_pending.end();) {
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
            attach(*entry);
        entry = m_pending.erase(entry);
        finishIfSettled();
    }
}

void TBuildDocumentFetch::onDownloadFailed(const QUrl& url, QNetworkReply::NetworkError /*code*/,
                                           const QString& errorString)
{
    for (auto entry = m_pending.begin(); entry != m_pending.end(); ++entry) {
        if (entry->packageConfigurationUrl != url && entry->assetConfigurationUrl != url)
            continue;
        if (requestFromNextMirror(*entry, url, errorString))
            return;
        qCritical() << "Download of package configuration/asset from configuration" << url << "failed:" << errorString;
        m_pending.erase(entry);
        finishIfSettled();
        return;
    }
}

void TBuildDocumentFetch::attach(const TEntry& entry)
{
    // The installed documents were checked against their pins before they were installed.
    if (m_mode.checkPins) {
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
    parseNext();
}

void TBuildDocumentFetch::parseNext()
{
    // One at a time: the allowance of records each task gets is what the ones before it left.
    if (m_parsing || m_parseQueue.empty())
        return;
    m_parsing = true;
    const TEntry& entry = m_parseQueue.front();
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

void TBuildDocumentFetch::onParsed()
{
    const TPackageConfigurationCache::TResult result = m_parseWatcher.result();
    const TEntry entry = std::move(m_parseQueue.front());
    m_parseQueue.pop_front();
    m_parsing = false;
    m_configurationCache.remember(result);
    entry.build->setConfiguration(result.reader);
    parseNext();
    finishIfSettled();
}

bool TBuildDocumentFetch::settled() const
{
    return m_pending.empty() && m_parseQueue.empty();
}

void TBuildDocumentFetch::finishIfSettled()
{
    if (settled())
        emit finished();
}

bool TBuildDocumentFetch::requestFromNextMirror(TEntry& entry, const QUrl& url, const QString& errorString)
{
    if (m_mode.fromInstallation || !entry.build || entry.build->mirrors().isEmpty())
        return false;
    const TMirroredDocument tried = m_mirroredDocuments.value(url, {url, 0});
    const bool isPackageDocument = entry.packageConfigurationUrl == url;
    const QUrl home = isPackageDocument ? entry.build->url() : entry.build->assetsUrl();
    const QUrl next = withNocacheToken(entry.build->locationRule().relocated(home, 0, tried.location + 1));
    if (!next.isValid())
        return false;
    qWarning() << "Download of package configuration/asset from configuration" << url << "failed:" << errorString
               << "- trying" << next;
    (isPackageDocument ? entry.packageConfigurationUrl : entry.assetConfigurationUrl) = next;
    m_mirroredDocuments.insert(next, {tried.firstRequestedUrl, tried.location + 1});
    // Not from inside this failure's handling: the pool may answer the request at once.
    QMetaObject::invokeMethod(
        this, [this, next] { m_downloadPool->addRequest(next); }, Qt::QueuedConnection);
    return true;
}

QUrl TBuildDocumentFetch::baseOfDocument(const QUrl& url, const QUrl& source) const
{
    const auto found = m_mirroredDocuments.constFind(url);
    return found == m_mirroredDocuments.constEnd() ? source : found->firstRequestedUrl;
}

QUrl TBuildDocumentFetch::withNocacheToken(const QUrl& url)
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

} // namespace orvan::launcher
