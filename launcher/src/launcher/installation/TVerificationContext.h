#pragma once

#include "TProgressCallback.h"

#include "configuration/TFileInPackage.h"
#include "configuration/TFileInPackageVector.h"

#include <QDir>
#include <QList>
#include <QMutex>

#include <memory>

namespace orvan::launcher {

class TLauncherFilesystemHelper;
class TRunControl;

/// State shared by the tasks of one verification. The mutex guards the work list, the result and
/// the verified-bytes counter with its progress report.
class TVerificationContext
{
public:
    TVerificationContext(std::shared_ptr<const TRunControl> runControl, TProgressCallback progress, QDir directory,
                         std::shared_ptr<TLauncherFilesystemHelper> helper, const TFileInPackageVector& files);

    /// Takes the next file in configuration order; false when none is left or a file already failed.
    bool takeNextFile(TFileInPackage& file);
    void addVerifiedBytes(quint64 bytes);
    void markFailed();
    bool result() const;

    quint64 bytesToVerify() const { return m_bytesToVerify; }
    QString pathOf(const QString& localFile) const;
    /// Waits here while the run is paused; true once it was cancelled, and then no further file
    /// is handed out.
    bool checkpoint() const;

private:
    std::shared_ptr<const TRunControl> m_runControl;
    TProgressCallback m_progress;
    QDir m_directory;
    std::shared_ptr<TLauncherFilesystemHelper> m_helper;

    mutable QMutex m_mutex;
    QList<TFileInPackage> m_workList;
    quint64 m_bytesVerified = 0;
    quint64 m_bytesToVerify = 0;
    bool m_verificationResult = true;
};

} // namespace orvan::launcher
