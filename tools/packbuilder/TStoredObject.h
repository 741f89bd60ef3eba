#pragma once

#include <QByteArray>
#include <QString>

namespace packbuilder {

/// One object of the store as a package document describes it.
struct TStoredObject
{
    /// Relative to the output folder, with "/" separators.
    QString url;
    quint64 packedSize = 0;
    /// Raw SHA-256 of the object file.
    QByteArray packedHash;
    quint64 unpackedSize = 0;
    /// Raw SHA-256 of the content.
    QByteArray unpackedHash;
    /// The object is a compressed container (false only for empty content, stored as is).
    bool unpack = true;
    /// The object was already in the store and was left as it is.
    bool reused = false;
};

} // namespace packbuilder
