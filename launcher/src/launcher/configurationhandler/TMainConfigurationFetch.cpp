#include "TMainConfigurationFetch.h"

#include "configuration/TLauncherConfigurationException.h"
#include "configuration/TLauncherConfigurationReader.h"
#include "network/TDownloadPool.h"
#include "settings/TLauncherFilesystemHelper.h"

#include <QDateTime>
#include <QDebug>
#include <QStandardPaths>

#include <stdexcept>
#include <utility>

namespace orvan::launcher {

namespace {

QUrl withoutFileName(const QUrl& url)
{
    return url.adjusted(QUrl::RemoveFilename);
}

} // namespace

const QString TMainConfigurationFetch::savedConfigurationFileName = QStringLiteral("launchermetadata.json");
const QString TMainConfigurationFetch::signatureSuffix = QStringLiteral(".sig");
const QString TMainConfigurationFetch::pendingSuffix = QStringLiteral(".new");

TMainConfigurationFetch::TMainConfigurationFetch(std::shared_ptr<::shared::TDownloadPool> downloadPool,
                                                 std::shared_ptr<TLauncherFilesystemHelper> filesystemHelper)
    : m_downloadPool(std::move(downloadPool)), m_filesystemHelper(std::move(filesystemHelper)),
      m_url(m_filesystemHelper->settings()->launcherConfiguration)
{
    m_errorTimer.setSingleShot(true);
    m_errorTimer.setInterval(static_cast<int>(m_filesystemHelper->settings()->downloadErrorTimeout));
    connect(m_downloadPool.get(), &::shared::TDownloadPool::success, this,
            &TMainConfigurationFetch::onDownloadFinished);
    connect(m_downloadPool.get(), &::shared::TDownloadPool::failed, this, &TMainConfigurationFetch::onDownloadFailed);
    connect(&m_errorTimer, &QTimer::timeout, this, &TMainConfigurationFetch::onErrorTimerExpired);
}

TMainConfigurationFetch::~TMainConfigurationFetch() = default;

QString TMainConfigurationFetch::savedConfigurationPath() const
{
    const QDir dataDirectory(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation));
    return m_filesystemHelper->fileSystemHelper().resolvePathInsideDirectory(dataDirectory, savedConfigurationFileName);
}

void TMainConfigurationFetch::start()
{
    m_loadedFromDisk = false;
    const QStringList& keys = m_filesystemHelper->settings()->publicKeys;
    if (!keys.isEmpty() && !m_trust) {
        m_trust = std::make_unique<TConfigurationTrust>(keys, m_url);
        m_signatureUrl = TConfigurationTrust::signatureUrl(m_url);
    }
    m_unverifiedDocument.clear();
    m_receivedSignature.clear();
    m_signatureFailure.clear();
    m_errorTimer.start();
    // The pool may answer an invalid URL from inside addRequest; the timer must already run then.
    m_downloadPool->addRequest(m_url);
    // Fetched side by side with the document, so that checking it costs no extra round trip.
    if (m_trust && m_errorTimer.isActive())
        m_downloadPool->addRequest(m_signatureUrl);
}

void TMainConfigurationFetch::onDownloadFinished(const QUrl& url, const QByteArray& data)
{
    const bool isSignature = m_trust && url == m_signatureUrl;
    if ((url != m_url && !isSignature) || !m_errorTimer.isActive())
        return;
    if (data.isEmpty()) {
        onDownloadFailed(url, QNetworkReply::ContentNotFoundError, QStringLiteral("Data stream is empty"));
        return;
    }
    if (isSignature) {
        m_receivedSignature = data;
        judgeSignedDocument();
        return;
    }
    if (!m_trust) {
        stopWaiting();
        acceptDocument(data, deliveredFrom(url));
        return;
    }
    // Counts as downloaded only once its signature has arrived and verifies.
    m_unverifiedDocument = data;
    m_unverifiedDocumentSource = deliveredFrom(url);
    judgeSignedDocument();
}

QUrl TMainConfigurationFetch::deliveredFrom(const QUrl& url) const
{
    const QUrl& finalUrl = m_downloadPool->reportedFinalUrl();
    return finalUrl.isEmpty() ? url : finalUrl;
}

void TMainConfigurationFetch::acceptDocument(const QByteArray& data, const QUrl& url)
{
    try {
        m_configuration = std::make_shared<TLauncherConfigurationReader>(data, withoutFileName(url));
    } catch (const TLauncherConfigurationException&) {
        emit settled(EOutcome::Failed);
        return;
    }
    save(data, QByteArray());
    warnIfSignatureUnchecked(*m_configuration);
    emit settled(EOutcome::Downloaded);
}

void TMainConfigurationFetch::judgeSignedDocument()
{
    // Without its signature the document can't be used, so it is not waited for.
    if (!m_signatureFailure.isEmpty()) {
        stopWaiting();
        qCritical().noquote() << "Download of configuration failed: no signature:" << m_signatureFailure;
        loadSavedCopy();
        return;
    }
    // Waits until the document and its signature are both in, in either order.
    if (m_unverifiedDocument.isEmpty() || m_receivedSignature.isEmpty())
        return;
    acceptSignedDocument(std::exchange(m_receivedSignature, QByteArray()));
}

void TMainConfigurationFetch::acceptSignedDocument(const QByteArray& signatureText)
{
    const QByteArray data = std::exchange(m_unverifiedDocument, QByteArray());
    stopWaiting();
    const TConfigurationTrust::TRefusal signatureRefusal = m_trust->checkSignature(data, signatureText);
    if (signatureRefusal.isRefused()) {
        qCritical().noquote() << "Download of configuration failed: signature refused:" << signatureRefusal.reason;
        loadSavedCopy();
        return;
    }
    std::shared_ptr<TLauncherConfigurationReader> configuration;
    try {
        configuration =
            std::make_shared<TLauncherConfigurationReader>(data, withoutFileName(m_unverifiedDocumentSource));
    } catch (const TLauncherConfigurationException&) {
        emit settled(EOutcome::Failed);
        return;
    }
    const TConfigurationTrust::TRefusal refusal = checkFreshness(*configuration);
    if (refusal.isRefused()) {
        qCritical().noquote() << "Download of configuration failed:" << refusal.reason;
        loadSavedCopy();
        return;
    }
    m_outOfDate = false;
    m_configuration = configuration;
    // Saved before its serial becomes the floor: a crash in between must leave a copy that passes.
    save(data, signatureText.trimmed() + '\n');
    m_trust->recordAccepted(*configuration);
    emit settled(EOutcome::Downloaded);
}

TConfigurationTrust::TRefusal TMainConfigurationFetch::checkFreshness(const TLauncherConfigurationReader& configuration)
{
    const TConfigurationTrust::TRefusal refusal =
        m_trust->checkFreshness(configuration, QDateTime::currentDateTimeUtc());
    if (refusal.expired)
        m_outOfDate = true;
    return refusal;
}

void TMainConfigurationFetch::save(const QByteArray& data, const QByteArray& signature)
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

void TMainConfigurationFetch::onDownloadFailed(const QUrl& url, QNetworkReply::NetworkError code,
                                               const QString& errorString)
{
    // A late failure after the timer already fell back to the saved copy changes nothing.
    if (!m_errorTimer.isActive())
        return;
    if (m_trust && url == m_signatureUrl) {
        m_signatureFailure = errorString.isEmpty() ? QStringLiteral("unknown error") : errorString;
        judgeSignedDocument();
        return;
    }
    if (url != m_url)
        return;
    qCritical() << "Download of configuration failed:" << errorString;
    stopWaiting();
    if (code == QNetworkReply::ContentAccessDenied || code == QNetworkReply::ContentNotFoundError)
        emit settled(EOutcome::Failed);
    else
        loadSavedCopy();
}

void TMainConfigurationFetch::onErrorTimerExpired()
{
    stopWaiting();
    loadSavedCopy();
}

void TMainConfigurationFetch::stopWaiting()
{
    m_errorTimer.stop();
    // A late answer would be ignored; a transfer still under way is stopped instead of received.
    m_downloadPool->cancelRequest(m_url);
    if (m_trust)
        m_downloadPool->cancelRequest(m_signatureUrl);
    m_unverifiedDocument.clear();
    m_receivedSignature.clear();
}

void TMainConfigurationFetch::loadSavedCopy()
{
    try {
        const QString path = savedConfigurationPath();
        QByteArray data = m_filesystemHelper->fileSystemHelper().readFileIfPresent(path);
        // Checked again at every load: the copy may have been replaced since it was saved.
        const TConfigurationTrust::TRefusal signatureRefusal =
            m_trust ? verifySavedCopy(data) : TConfigurationTrust::TRefusal();
        if (data.isEmpty()) {
            emit settled(EOutcome::Failed);
            return;
        }
        if (signatureRefusal.isRefused()) {
            qCritical().noquote() << "Saved configuration refused: signature refused:" << signatureRefusal.reason;
            emit settled(EOutcome::Failed);
            return;
        }
        auto configuration =
            std::make_shared<TLauncherConfigurationReader>(data, withoutFileName(QUrl::fromLocalFile(path)));
        const TConfigurationTrust::TRefusal refusal =
            m_trust ? checkFreshness(*configuration) : TConfigurationTrust::TRefusal();
        if (refusal.isRefused()) {
            qCritical().noquote() << "Saved configuration refused:" << refusal.reason;
            emit settled(EOutcome::Failed);
            return;
        }
        m_configuration = configuration;
        m_loadedFromDisk = true;
        warnIfSignatureUnchecked(*configuration);
    } catch (const std::runtime_error& error) {
        emit diskAccessFailed(QString::fromUtf8(error.what()));
        return;
    }
    emit settled(EOutcome::FromDisk);
}

TConfigurationTrust::TRefusal TMainConfigurationFetch::verifySavedCopy(QByteArray& data) const
{
    const auto& files = m_filesystemHelper->fileSystemHelper();
    const QString path = savedConfigurationPath();
    const QByteArray signature = files.readFileIfPresent(path + signatureSuffix);
    const TConfigurationTrust::TRefusal refusal = m_trust->checkSignature(data, signature);
    if (!refusal.isRefused())
        return refusal;
    // A save cut short after the new signature was written leaves its document under the pending name.
    const QByteArray pending = files.readFileIfPresent(path + pendingSuffix);
    if (!pending.isEmpty() && !m_trust->checkSignature(pending, signature).isRefused()) {
        data = pending;
        return {};
    }
    return refusal;
}

void TMainConfigurationFetch::warnIfSignatureUnchecked(const TLauncherConfigurationReader& configuration) const
{
    if (m_trust)
        return;
    // Signs of a signed deployment: a launcher that lost its settings would otherwise trust anything.
    if (configuration.hasSerial() ||
        m_filesystemHelper->fileSystemHelper().fileExists(savedConfigurationPath() + signatureSuffix))
        qWarning() << "Signature of the main configuration not checked: no trusted public key is configured"
                   << "(launchersettings.ini missing or without publicKeys in [SECURITY])";
}

} // namespace orvan::launcher
