#pragma once

#include <QByteArray>
#include <QString>

namespace shared {

/// Read-only access to the whole content of one file; each data() call reads the file again.
class TReadOnlyMemoryBlob
{
public:
    /// Throws the I/O error with detail "File does not exist" when the file is missing.
    explicit TReadOnlyMemoryBlob(const QString& path);
    TReadOnlyMemoryBlob(const TReadOnlyMemoryBlob&) = delete;
    TReadOnlyMemoryBlob& operator=(const TReadOnlyMemoryBlob&) = delete;
    virtual ~TReadOnlyMemoryBlob();

    /// The file's bytes; throws the I/O error when the file cannot be read.
    virtual QByteArray data() const;

    const QString& filePath() const { return m_path; }

protected:
    QString m_path;
    QByteArray m_cachedData;
};

} // namespace shared
