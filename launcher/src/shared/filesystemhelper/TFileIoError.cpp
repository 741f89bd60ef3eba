#include "TFileIoError.h"

#include <QFile>

namespace shared {

TFileIoError::TFileIoError(const QString& fileName, const QString& detail)
    : std::runtime_error(QStringLiteral("I/O error on file '%1': %2").arg(fileName, detail).toStdString())
{}

void TFileIoError::check(const QFileDevice& file)
{
    if (file.error() != QFileDevice::NoError)
        throw TFileIoError(file.fileName(), file.errorString());
}

QByteArray TFileIoError::readAllAndClose(QFile& file)
{
    check(file);
    QByteArray data = file.readAll();
    check(file);
    file.close();
    check(file);
    return data;
}

} // namespace shared
