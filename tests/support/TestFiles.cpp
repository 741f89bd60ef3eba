#include "support/TestFiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

#include <stdexcept>

namespace testsupport {

QByteArray readFile(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeFile(const QString& path, const QByteArray& data)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size() || !file.flush())
        throw std::runtime_error("cannot write test file " + path.toStdString());
}

QStringList filesBelow(const QString& directory)
{
    QStringList files;
    const QDir root(directory);
    QDirIterator it(directory, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << root.relativeFilePath(it.next());
    files.sort();
    return files;
}

QString testDataPath(const QString& relativePath)
{
    return QStringLiteral(QUENMAR_SOURCE_DIR "/tests/data/") + relativePath;
}

QByteArray readTestData(const QString& relativePath)
{
    QFile file(testDataPath(relativePath));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("cannot read test data %s", qPrintable(file.fileName()));
    return file.readAll();
}

} // namespace testsupport
