#include "TScratchFile.h"

#include <QDir>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace orvan::launcher {

namespace {

QString systemError()
{
    return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

const QString TScratchFile::fallbackPrefix = QStringLiteral(".scratch-");

TScratchFile::TScratchFile(const QString& directory, ECreation creation) : m_directory(directory)
{
    int descriptor = creation == ECreation::Anonymous ? createAnonymous() : -1;
    if (descriptor < 0)
        descriptor = createNamedThenUnlinked();
    if (descriptor < 0)
        return;
    if (!m_file.open(descriptor, QIODevice::ReadWrite | QIODevice::Unbuffered, QFileDevice::AutoCloseHandle)) {
        m_error = m_file.errorString();
        ::close(descriptor);
    }
}

int TScratchFile::createAnonymous()
{
    const int descriptor =
        ::open(QFile::encodeName(m_directory).constData(), O_TMPFILE | O_RDWR | O_CLOEXEC, S_IRUSR | S_IWUSR);
    if (descriptor < 0)
        m_error = systemError();
    return descriptor;
}

int TScratchFile::createNamedThenUnlinked()
{
    QByteArray name = QFile::encodeName(QDir(m_directory).filePath(fallbackPrefix + QStringLiteral("XXXXXX")));
    const int descriptor = ::mkostemp(name.data(), O_CLOEXEC);
    if (descriptor < 0) {
        m_error = systemError();
        return -1;
    }
    // A leftover removal of another run may have taken the name already; the file is open either way.
    if (::unlink(name.constData()) != 0 && errno != ENOENT) {
        m_error = systemError();
        ::close(descriptor);
        return -1;
    }
    return descriptor;
}

QByteArray TScratchFile::readAt(quint64 offset, quint64 length) const
{
    QByteArray data(static_cast<int>(length), Qt::Uninitialized);
    qint64 done = 0;
    while (done < data.size()) {
        const ssize_t count = ::pread(m_file.handle(), data.data() + done, static_cast<std::size_t>(data.size() - done),
                                      static_cast<off_t>(offset + static_cast<quint64>(done)));
        if (count < 0 && errno == EINTR)
            continue;
        if (count <= 0)
            break;
        done += count;
    }
    data.truncate(static_cast<int>(done));
    return data;
}

void TScratchFile::removeLeftovers(const QString& directory)
{
    const QDir folder(directory);
    const QStringList leftovers =
        folder.entryList({fallbackPrefix + QLatin1Char('*')}, QDir::Files | QDir::Hidden | QDir::System);
    for (const QString& leftover : leftovers)
        QFile::remove(folder.filePath(leftover));
}

} // namespace orvan::launcher
