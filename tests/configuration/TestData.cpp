#include "TestData.h"

#include <QFile>

QByteArray readTestData(const QString& RelativePath)
{
    QFile file(QStringLiteral(QUENMAR_SOURCE_DIR "/tests/data/") + RelativePath);
    if (!file.open(QIODevice::ReadOnly)) {
        qFatal("cannot read test data %s", qPrintable(file.fileName()));
    }
    return file.readAll();
}
