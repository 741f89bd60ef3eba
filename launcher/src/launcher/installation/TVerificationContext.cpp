#include "TVerificationContext.h"

#include "TPackageInstallation.h"

#include "settings/TLauncherFilesystemHelper.h"

#include <QMutexLocker>

#include <utility>

namespace orvan::launcher {

TVerificationContext::TVerificationContext(TPackageInstallation* installation, QDir directory,
                                           std::shared_ptr<TLauncherFilesystemHelper> helper,
                                           const TFileInPackageVector& files)
    : m_installation(installation), m_directory(directory), m_helper(std::move(helper))
{
    m_workList.reserve(static_cast<int>(files.size()));
    for (const TFileInPackage& file : files) {
        m_workList.append(file);
        m_bytesToVerify += file.unpackedSize;
    }
}

bool TVerificationContext::takeNextFile(TFileInPackage& file)
{
    if (cancelled())
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
    if (m_installation != nullptr)
        emit m_installation->verificationProgress(m_bytesVerified, m_bytesToVerify);
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

bool TVerificationContext::cancelled() const
{
    return m_installation != nullptr && m_installation->backgroundWorkStopsHere();
}

} // namespace orvan::launcher
