#include "TFileHashReader.h"

#include "hash/TSha256.h"

#include <QFile>
#include <QFileInfo>

namespace orvan::launcher {

TFileHashReader::TFileHashReader(std::size_t PortionSize) : m_portionSize(PortionSize > 0 ? PortionSize : 1) {}

TFileHashReader::~TFileHashReader() = default;

TFileHashReader::EResult TFileHashReader::hashFile(const QString& Path, QByteArray& Hash,
                                                   const TProgressHandler& Progress, const TStopCondition& ShouldStop)
{
    Hash.clear();
    if (!QFileInfo(Path).isFile())
        return EResult::OpenFailed;
    QFile file(Path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        return EResult::OpenFailed;
    if (!m_buffer)
        m_buffer.reset(new char[m_portionSize]);

    shared::TSha256 sha256;
    for (;;) {
        if (ShouldStop && ShouldStop())
            return EResult::Stopped;
        const qint64 got = file.read(m_buffer.get(), static_cast<qint64>(m_portionSize));
        if (got < 0)
            return EResult::ReadFailed;
        if (got == 0)
            break;
        sha256.addData(m_buffer.get(), static_cast<std::size_t>(got));
        if (Progress)
            Progress(got);
    }
    Hash = sha256.result();
    return EResult::Completed;
}

} // namespace orvan::launcher
