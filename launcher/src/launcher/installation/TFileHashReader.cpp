#include "TFileHashReader.h"

#include "hash/TSha256.h"

#include <QFile>
#include <QFileInfo>

namespace orvan::launcher {

TFileHashReader::TFileHashReader(std::size_t portionSize) : m_portionSize(portionSize > 0 ? portionSize : 1) {}

TFileHashReader::~TFileHashReader() = default;

TFileHashReader::EResult TFileHashReader::hashFile(const QString& path, QByteArray& hash,
                                                   const TProgressHandler& progress, const TStopCondition& shouldStop)
{
    hash.clear();
    if (!QFileInfo(path).isFile())
        return EResult::OpenFailed;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return EResult::OpenFailed;
    if (!m_buffer)
        m_buffer.reset(new char[m_portionSize]);

    shared::TSha256 sha256;
    for (;;) {
        if (shouldStop && shouldStop())
            return EResult::Stopped;
        const qint64 got = file.read(m_buffer.get(), static_cast<qint64>(m_portionSize));
        if (got < 0)
            return EResult::ReadFailed;
        if (got == 0)
            break;
        sha256.addData(m_buffer.get(), static_cast<std::size_t>(got));
        if (progress)
            progress(got);
    }
    hash = sha256.result();
    return EResult::Completed;
}

} // namespace orvan::launcher
