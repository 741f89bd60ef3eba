#include "TFileIo.h"

#include "TCommandError.h"

#include <QFile>
#include <QSaveFile>

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

} // namespace quenmarpack
