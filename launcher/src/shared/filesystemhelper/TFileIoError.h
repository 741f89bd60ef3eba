#pragma once

#include <QByteArray>
#include <QString>

#include <stdexcept>

class QFile;
class QFileDevice;

namespace shared {

/// The file system's I/O failure: "I/O error on file '<name>': <detail>".
class TFileIoError : public std::runtime_error
{
public:
    TFileIoError(const QString& fileName, const QString& detail);

    /// Throws the I/O error with the device's error string when its last step failed.
    static void check(const QFileDevice& file);
    /// Reads the rest of an opened file and closes it, with the check after each step.
    static QByteArray readAllAndClose(QFile& file);
};

} // namespace shared
