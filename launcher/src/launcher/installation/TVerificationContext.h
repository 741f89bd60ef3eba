#pragma once

#include "configuration/TFileInPackage.h"
#include "configuration/TFileInPackageVector.h"

#include <QDir>
#include <QList>
#include <QMutex>

#include <memory>

namespace orvan::launcher {

class TLauncherFilesystemHelper;
class TPackageInstallation;

/// State shared by the tasks of one verification. The mutex guards the work list, the result and
/// the verified-bytes counter with its progress signal.
class TVerificationContext
{
public:
    TVerificationContext(TPackageInstallation* installation, QDir directory,
                         std::shared_ptr<TLauncherFilesystemHelper> helper, const TFileInPackageVector& files);

    /// Takes the next file in configuration order; false when none is left or a file already failed.
    bool takeNextFile(TFileInPackage& file);
    void addVerifiedBytes(quint64 bytes);
    void markFailed();
    bool result() const;

    quint64 bytesToVerify() const { return m_bytesToVerify; }
    QString pathOf(const QString& localFile) const;
    /// True once the installation cancelled its background work; no further file is handed out.
    /// Waits here while the installation is paused.
    bool cancelled() const;

private:
    TPackageInstallation* m_installation;
    QDir m_directory;
    std::shared_ptr<TLauncherFilesystemHelper> m_helper;

    mutable QMutex m_mutex;
    QList<TFileInPackage> m_workList;
    quint64 m_bytesVerified = 0;
    quint64 m_bytesToVerify = 0;
    bool m_verificationResult = true;
};

} // namespace orvan::launcher
