#include "TChunkWriteLog.h"

namespace orvan::launcher {

TChunkWriteLog::TChunkWriteLog(const QString& TargetPath, bool Restart) : m_file(TargetPath + QStringLiteral(".log"))
{
    if (Restart)
        QFile::remove(m_file.fileName());
    // The log is a debugging aid: a log that can't be opened must not stop the installation.
    if (m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        m_stream.setDevice(&m_file);
}

void TChunkWriteLog::line(quint64 Offset, const char* Outcome)
{
    if (m_stream.device() != nullptr)
        m_stream << Offset << Outcome << '\n';
}

} // namespace orvan::launcher
