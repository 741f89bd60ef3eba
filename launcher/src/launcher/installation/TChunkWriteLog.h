#pragma once

#include <QFile>
#include <QString>
#include <QTextStream>

namespace orvan::launcher {

/// The write log of one target file (its path followed by ".log"), kept when the debug setting
/// chunkVerification is on: a line per checked or written chunk with its offset and the outcome.
class TChunkWriteLog
{
public:
    static const QString suffix;

    /// Opens targetPath + ".log" for appending; Restart deletes an earlier log first.
    TChunkWriteLog(const QString& targetPath, bool restart);
    TChunkWriteLog(const TChunkWriteLog&) = delete;
    TChunkWriteLog& operator=(const TChunkWriteLog&) = delete;

    /// Writes Offset followed by Outcome (": check succeeded", ...) as one line.
    void line(quint64 offset, const char* outcome);

private:
    QFile m_file;
    QTextStream m_stream;
};

} // namespace orvan::launcher
