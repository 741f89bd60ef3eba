#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

/// Generated inputs and external programs for the compression tests (random bytes, which do not
/// compress, come from testsupport::pseudoRandom).
class TTestSupport
{
public:
    /// Deterministic, compressible text of the given size.
    static QByteArray text(int size, quint32 seed = 1);
    /// Stdout of a successful run of a system tool, or a failed QVERIFY-style message in error.
    static QByteArray filter(const QString& program, const QStringList& arguments, const QByteArray& input,
                             QString* error);

    /// The payload of an LZMA-alone stream with its 8-byte size field replaced.
    static QByteArray withLzmaSizeField(QByteArray payload, quint64 size);
};
