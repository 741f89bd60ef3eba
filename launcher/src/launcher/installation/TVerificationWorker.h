#pragma once

#include "TFileHashReader.h"

namespace orvan::launcher {

class TVerificationContext;

/// One task of a verification: hashes files taken from the shared work list and compares them
/// with the package data until the list is empty or any file failed.
class TVerificationWorker
{
public:
    explicit TVerificationWorker(TVerificationContext& context);
    TVerificationWorker(const TVerificationWorker&) = delete;
    TVerificationWorker& operator=(const TVerificationWorker&) = delete;

    /// Never throws: an exception marks the verification failed.
    void run();

private:
    /// False ends the task: the file is missing, unreadable or differs.
    bool verifyFile(const QString& path, const QByteArray& expectedHash);

    TVerificationContext& m_context;
    TFileHashReader m_hashReader;
};

} // namespace orvan::launcher
