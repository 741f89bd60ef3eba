#include "TVerificationContext.h"

#include "TPackageInstallation.h"

#include "settings/TLauncherFilesystemHelper.h"

#include <QMutexLocker>

#include <utility>

namespace orvan::launcher {

TVerificationContext::TVerificationContext(TPackageInstallation* Installation, QDir Directory,
                                           std::shared_ptr<TLauncherFilesystemHelper> Helper,
                                           const TFileInPackageVector& Files)
    : m_installation(Installation), m_directory(Directory), m_helper(std::move(Helper))
{
    m_workList.reserve(static_cast<int>(Files.size()));
    for (const TFileInPackage& file : Files) {
        m_workList.append(file);
        m_bytesToVerify += file.unpackedSize;
    }
}

bool TVerificationContext::takeNextFile(TFileInPackage& File)
{
    if (cancelled())
        return false;
    QMutexLocker lock(&m_mutex);
    if (m_workList.isEmpty() || !m_verificationResult)
        return false;
    File = m_workList.takeFirst();
    return true;
}

void TVerificationContext::addVerifiedBytes(quint64 Bytes)
{
    QMutexLocker lock(&m_mutex);
    m_bytesVerified += Bytes;
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

QString TVerificationContext::pathOf(const QString& LocalFile) const
{
    return m_helper->fileSystemHelper().resolvePathInsideDirectory(m_directory, LocalFile);
}

bool TVerificationContext::cancelled() const
{
    return m_installation != nullptr && m_installation->backgroundWorkCancelled();
}

} // namespace orvan::launcher
