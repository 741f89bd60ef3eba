#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

/// Generated inputs and external programs for the compression tests.
class TTestSupport
{
public:
    /// Deterministic, compressible text of the given size.
    static QByteArray text(int size, quint32 seed = 1);
    /// Deterministic bytes that do not compress.
    static QByteArray noise(int size, quint32 seed = 1);

    struct Result
    {
        int exitCode = -1;
        QByteArray out;
        QByteArray err;
    };
    /// Runs program with arguments, feeding input on stdin; exitCode is -1 when it did not run.
    static Result run(const QString& program, const QStringList& arguments, const QByteArray& input = {});
    /// Stdout of a successful run of a system tool, or a failed QVERIFY-style message in error.
    static QByteArray filter(const QString& program, const QStringList& arguments, const QByteArray& input,
                             QString* error);

    /// The payload of an LZMA-alone stream with its 8-byte size field replaced.
    static QByteArray withLzmaSizeField(QByteArray payload, quint64 size);
};
