#include "TVerificationContext.h"

#include "TRunControl.h"

#include "settings/TLauncherFilesystemHelper.h"

#include <QMutexLocker>

#include <utility>

namespace orvan::launcher {

TVerificationContext::TVerificationContext(std::shared_ptr<const TRunControl> runControl, TProgressCallback progress,
                                           QDir directory, std::shared_ptr<TLauncherFilesystemHelper> helper,
                                           const TFileInPackageVector& files)
    : m_runControl(std::move(runControl)), m_progress(std::move(progress)), m_directory(directory),
      m_helper(std::move(helper))
{
    m_workList.reserve(static_cast<int>(files.size()));
    for (const TFileInPackage& file : files) {
        m_workList.append(file);
        m_bytesToVerify += file.unpackedSize;
    }
}

bool TVerificationContext::takeNextFile(TFileInPackage& file)
{
    if (checkpoint())
        return false;
    QMutexLocker lock(&m_mutex);
    if (m_workList.isEmpty() || !m_verificationResult)
        return false;
    file = m_workList.takeFirst();
    return true;
}

void TVerificationContext::addVerifiedBytes(quint64 bytes)
{
    QMutexLocker lock(&m_mutex);
    m_bytesVerified += bytes;
    // Reported under the lock, so that the totals arrive in order.
    if (m_progress)
        m_progress(m_bytesVerified, m_bytesToVerify);
}

void TVerificationContext::markFailed()
{
    QMutexLocker lock(&m_mutex);
    m_verificationResult = false;
}

bool TVerificationContext::result() const
{
    QMutexLocker lock(&m_mutex);
    return m_verificationResult;
}

QString TVerificationContext::pathOf(const QString& localFile) const
{
    return m_helper->fileSystemHelper().resolvePathInsideDirectory(m_directory, localFile);
}

bool TVerificationContext::checkpoint() const
{
    return m_runControl && m_runControl->checkpoint();
}

} // namespace orvan::launcher
