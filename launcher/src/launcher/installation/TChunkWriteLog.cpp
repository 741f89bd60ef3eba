#include "TChunkWriteLog.h"

namespace orvan::launcher {

const QString TChunkWriteLog::suffix = QStringLiteral(".log");

TChunkWriteLog::TChunkWriteLog(const QString& targetPath, bool restart) : m_file(targetPath + suffix)
{
    if (restart)
        QFile::remove(m_file.fileName());
    // The log is a debugging aid: a log that can't be opened must not stop the installation.
    if (m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text))
        m_stream.setDevice(&m_file);
}

void TChunkWriteLog::line(quint64 offset, const char* outcome)
{
    if (m_stream.device() != nullptr)
        m_stream << offset << outcome << '\n';
}

} // namespace orvan::launcher
