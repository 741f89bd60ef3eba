#include "TLauncherConfigurationHandler.h"

#include "configuration/TLauncherConfigurationReader.h"
#include "network/TDownloadPool.h"
#include "randomhints/ChooseHint.h"
#include "randomhints/ParseHints.h"

#include <QDateTime>

#include <utility>

namespace orvan::launcher {

TLauncherConfigurationHandler::TLauncherConfigurationHandler(
    std::shared_ptr<::shared::TDownloadPool> downloadPool, std::shared_ptr<TLauncherFilesystemHelper> filesystemHelper)
    : m_downloadPool(std::move(downloadPool)), m_mainFetch(m_downloadPool, filesystemHelper),
      m_documentFetch(m_downloadPool, filesystemHelper)
{
    ::shared::THint::registerMetaTypes();
    // The signals spell the type with its global qualifier, so the meta-type system needs that
    // spelling too.
    qRegisterMetaType<::shared::THint>("::shared::THint");
    qRegisterMetaType<std::vector<::shared::THint>>("std::vector< ::shared::THint>");
    connect(&m_mainFetch, &TMainConfigurationFetch::settled, this,
            &TLauncherConfigurationHandler::onMainConfigurationSettled);
    connect(&m_mainFetch, &TMainConfigurationFetch::diskAccessFailed, this,
            &TLauncherConfigurationHandler::diskAccessFailed);
    connect(&m_documentFetch, &TBuildDocumentFetch::finished, this,
            &TLauncherConfigurationHandler::packageConfigurationDownloadsFinished);
    connect(&m_documentFetch, &TBuildDocumentFetch::diskAccessFailed, this,
            &TLauncherConfigurationHandler::diskAccessFailed);
    connect(m_downloadPool.get(), &::shared::TDownloadPool::success, this,
            &TLauncherConfigurationHandler::onDownloadFinished);
}

TLauncherConfigurationHandler::~TLauncherConfigurationHandler() = default;

void TLauncherConfigurationHandler::loadMainConfiguration()
{
    m_mainFetch.start();
}

void TLauncherConfigurationHandler::onMainConfigurationSettled(TMainConfigurationFetch::EOutcome outcome)
{
    if (outcome == TMainConfigurationFetch::EOutcome::Failed)
        emit mainConfigurationDownloadFailed();
    else
        emit mainConfigurationLoaded();
}

void TLauncherConfigurationHandler::requestPackageConfigurations()
{
    const std::shared_ptr<TLauncherConfigurationReader> configuration = m_mainFetch.configuration();
    if (!configuration)
        return;
    // The installed documents were checked against their pins before they were installed.
    const bool fromDisk = m_mainFetch.isLoadedFromDisk();
    m_documentFetch.request(*configuration, {fromDisk, m_mainFetch.isSigned() && !fromDisk});
}

void TLauncherConfigurationHandler::onDownloadFinished(const QUrl& url, const QByteArray& data)
{
    const std::shared_ptr<TLauncherConfigurationReader> configuration = m_mainFetch.configuration();
    if (configuration && url == configuration->hintsUrl() && !data.isEmpty())
        handleHints(data);
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

} // namespace orvan::launcher
