#include "TFileIo.h"

#include "TCommandError.h"

#include <QFile>
#include <QSaveFile>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace quenmarpack {

QByteArray TFileIo::read(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw TCommandError(QStringLiteral("cannot open '%1': %2").arg(path, file.errorString()));
    QByteArray data = file.readAll();
    if (file.error() != QFileDevice::NoError)
        throw TCommandError(QStringLiteral("cannot read '%1': %2").arg(path, file.errorString()));
    return data;
}

void TFileIo::write(const QString& path, const QByteArray& data)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(data) != data.size() || !file.commit())
        throw TCommandError(QStringLiteral("cannot write '%1': %2").arg(path, file.errorString()));
}

void TFileIo::createNew(const QString& path, const QByteArray& data, unsigned mode)
{
    const QByteArray name = QFile::encodeName(path);
    const int descriptor = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode);
    if (descriptor < 0) {
        const int error = errno;
        throw TCommandError(
            error == EEXIST
                ? QStringLiteral("'%1' already exists; it is never overwritten").arg(path)
                : QStringLiteral("cannot create '%1': %2").arg(path, QString::fromLocal8Bit(std::strerror(error))));
    }
    // The umask can only narrow the mode given to open; set it exactly, before any byte is written.
    bool written = ::fchmod(descriptor, mode) == 0;
    for (qint64 offset = 0; written && offset < data.size();) {
        const ssize_t count = ::write(descriptor, data.constData() + offset, std::size_t(data.size() - offset));
        written = count > 0 || (count < 0 && errno == EINTR);
        offset += count > 0 ? count : 0;
    }
    const int error = errno;
    written = ::close(descriptor) == 0 && written;
    if (!written) {
        ::unlink(name.constData());
        throw TCommandError(
            QStringLiteral("cannot write '%1': %2").arg(path, QString::fromLocal8Bit(std::strerror(error))));
    }
}

} // namespace quenmarpack
