#include "TVerificationWorker.h"

#include "TVerificationContext.h"

#include "configuration/TFileInPackage.h"

#include <QDebug>
#include <QThread>

#include <exception>

namespace orvan::launcher {

TVerificationWorker::TVerificationWorker(TVerificationContext& context) : m_context(context) {}

void TVerificationWorker::run()
{
    QString currentPath;
    try {
        TFileInPackage file;
        while (m_context.takeNextFile(file)) {
            currentPath = m_context.pathOf(file.localFile);
            if (!verifyFile(currentPath, file.unpackedHash)) {
                m_context.markFailed();
                return;
            }
            currentPath.clear();
        }
    } catch (const std::exception& error) {
        if (!currentPath.isEmpty())
            qWarning().noquote().nospace()
                << "verification of files crashed in file: " << currentPath << " exception: " << error.what();
        else
            qWarning().noquote().nospace() << "verification of files crashed. exception: " << error.what();
        m_context.markFailed();
    } catch (...) {
        qWarning().noquote().nospace() << "verification of files crashed ";
        m_context.markFailed();
    }
}

bool TVerificationWorker::verifyFile(const QString& path, const QByteArray& expectedHash)
{
    QByteArray hash;
    const TFileHashReader::EResult result = m_hashReader.hashFile(
        path, hash, [this](qint64 bytes) { m_context.addVerifiedBytes(static_cast<quint64>(bytes)); },
        [this] { return m_context.checkpoint(); });
    if (result != TFileHashReader::EResult::Completed)
        return false;
    if (hash != expectedHash) {
        qWarning().noquote().nospace() << "verification of file " << path << " failed";
        return false;
    }
    qInfo().noquote().nospace() << "verification of file " << path << " successfully"
                                << " Thread: " << QThread::currentThreadId();
    return true;
}

} // namespace orvan::launcher
