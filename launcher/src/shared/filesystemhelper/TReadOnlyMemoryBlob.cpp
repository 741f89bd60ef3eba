#include "TReadOnlyMemoryBlob.h"

#include "TFileIoError.h"

#include <QFile>

namespace shared {

TReadOnlyMemoryBlob::TReadOnlyMemoryBlob(const QString& path) : m_path(path)
{
    if (!QFile::exists(path))
        throw TFileIoError(path, QStringLiteral("File does not exist"));
}

TReadOnlyMemoryBlob::~TReadOnlyMemoryBlob() = default;

QByteArray TReadOnlyMemoryBlob::data() const
{
    if (!m_cachedData.isEmpty())
        return m_cachedData;
    QFile file(m_path);
    if (!file.open(QIODevice::ReadOnly))
        throw TFileIoError(file.fileName(), QStringLiteral("Could not open file."));
    return TFileIoError::readAllAndClose(file);
}

} // namespace shared
