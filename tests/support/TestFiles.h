#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace testsupport {

/// The whole file, or an empty array when it cannot be opened.
QByteArray readFile(const QString& path);
/// Writes data to path, creating missing parent folders; throws std::runtime_error on failure.
void writeFile(const QString& path, const QByteArray& data);
/// Paths of all files below directory (hidden ones too), relative to it, sorted.
QStringList filesBelow(const QString& directory);
/// The bytes of a file below tests/data/ of the source tree; aborts the test run when missing.
QByteArray readTestData(const QString& relativePath);
/// The absolute path of a file or folder below tests/data/ of the source tree.
QString testDataPath(const QString& relativePath);

} // namespace testsupport
