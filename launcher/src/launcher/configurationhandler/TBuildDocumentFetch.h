#pragma once

#include "TPackageConfigurationCache.h"

#include <QByteArray>
#include <QFutureWatcher>
#include <QHash>
#include <QNetworkReply>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <deque>
#include <memory>
#include <vector>

namespace shared {
class TDownloadPool;
class TRandomNumberGenerator;
} // namespace shared

namespace orvan::launcher {

class TLauncherConfigurationReader;
class TLauncherFilesystemHelper;
class TPackageBuild;

/// Fetches the package and asset documents of every package's current build (from the build's
/// mirrors in turn when its own location fails, or from the installation when working from the
/// saved main configuration), checks them against their build's pins and parses them one build at
/// a time on the global thread pool. Listens to the pool for its own URLs only; the destructor
/// waits for the parse under way.
class TBuildDocumentFetch : public QObject
{
    Q_OBJECT

public:
    /// Where the documents come from and whether their pins are checked.
    struct TMode
    {
        bool fromInstallation = false;
        bool checkPins = false;
    };

    TBuildDocumentFetch(std::shared_ptr<::shared::TDownloadPool> downloadPool,
                        std::shared_ptr<TLauncherFilesystemHelper> filesystemHelper);
    ~TBuildDocumentFetch() override;

    /// Requests the documents of the builds of Configuration; finished follows once all settled.
    void request(const TLauncherConfigurationReader& configuration, TMode mode);
    /// Names of the packages whose documents did not match their pins, in the order refused.
    const QStringList& refusedPackages() const { return m_refusedPackages; }
    /// Adds a "nocache" query item with a random 32-character token when the settings ask for it.
    QUrl withNocacheToken(const QUrl& url);

signals:
    // NOLINTBEGIN(readability-identifier-naming)
    void finished();
    void diskAccessFailed(QString ErrorMessage);
    // NOLINTEND(readability-identifier-naming)

private slots:
    void onDownloadFinished(const QUrl& url, const QByteArray& data);
    void onDownloadFailed(const QUrl& url, QNetworkReply::NetworkError code, const QString& errorString);

private:
    struct TEntry
    {
        TPackageBuild* build = nullptr;
        QString packageName;
        QUrl packageConfigurationUrl;
        QUrl assetConfigurationUrl;
        QByteArray packageConfigurationData;
        QByteArray assetConfigurationData;
        /// Where each document was served from, after redirects: the base of its relative URLs.
        QUrl packageConfigurationSource;
        QUrl assetConfigurationSource;

        bool isWaiting() const;
    };

    struct TMirroredDocument
    {
        QUrl firstRequestedUrl;
        /// The location the URL points at: 0 for the build's own, mirrors counted from 1.
        int location = 0;
    };

    void addEntries(const TLauncherConfigurationReader& configuration);
    TEntry entryFromNetwork(TPackageBuild* build, const QString& packageName);
    TEntry entryFromInstallation(TPackageBuild* build, const QString& packageName, const QString& directoryName) const;
    /// Hands an installed document to the download handlers, as the pool would.
    void readInstalledDocument(const QUrl& url);
    void store(const QUrl& url, const QByteArray& data, const QUrl& source);
    /// Queues the documents of a complete entry for parsing, unless the pins refuse them.
    void attach(const TEntry& entry);
    void parseNext();
    void onParsed();
    /// True when no document is awaited and none is waiting for or under parsing.
    bool settled() const;
    void finishIfSettled();
    /// Asks the build's next mirror for the document of Entry that could not be fetched from Url;
    /// false when no mirror is left.
    bool requestFromNextMirror(TEntry& entry, const QUrl& url, const QString& errorString);
    /// What the relative URLs of the document requested with Url and served from Source are
    /// resolved against: Source, or for a copy from a mirror the URL it was first requested from.
    QUrl baseOfDocument(const QUrl& url, const QUrl& source) const;

    std::shared_ptr<::shared::TDownloadPool> m_downloadPool;
    std::shared_ptr<TLauncherFilesystemHelper> m_filesystemHelper;
    std::unique_ptr<::shared::TRandomNumberGenerator> m_randomNumberGenerator;
    TMode m_mode;
    std::vector<TEntry> m_pending;
    QStringList m_refusedPackages;
    /// The documents being fetched from a mirror, by the URL they were requested with.
    QHash<QUrl, TMirroredDocument> m_mirroredDocuments;
    /// Complete entries in arrival order; the first one is being parsed while m_parsing is set.
    std::deque<TEntry> m_parseQueue;
    bool m_parsing = false;
    QFutureWatcher<TPackageConfigurationCache::TResult> m_parseWatcher;
    TPackageConfigurationCache m_configurationCache;
};

} // namespace orvan::launcher
