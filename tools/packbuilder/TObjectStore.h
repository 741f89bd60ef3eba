#pragma once

#include "TStoredObject.h"

#include "compression/EContainerAlgorithm.h"

#include <QByteArray>
#include <QDir>
#include <QSet>
#include <QString>

namespace packbuilder {

/// The content-addressed object store below a package's output folder: an object is named by the
/// SHA-256 of its content, so an object that is already published serves every later build that
/// has the same content, and identical content is stored once. Objects are written to a
/// temporary name and renamed, so no object is ever seen half written. Safe for concurrent use
/// by several threads as long as no two of them store the same content at once.
class TObjectStore
{
public:
    static const QString DirectoryName;

    TObjectStore(const QString& OutputDirectory, shared::EContainerAlgorithm Algorithm, int Level,
                 bool VerifyExistingObjects);

    /// The object's path relative to the output folder.
    static QString relativePathFor(const QByteArray& UnpackedHash);
    QString absolutePathFor(const QByteArray& UnpackedHash) const;
    /// True when the object exists and is going to be reused without its content.
    bool canReuseWithoutContent(const QByteArray& UnpackedHash) const;

    /// Stores Content (whose SHA-256 is UnpackedHash) unless the store has it already. Content
    /// may be empty when canReuseWithoutContent said true.
    TStoredObject store(const QByteArray& Content, const QByteArray& UnpackedHash, quint64 UnpackedSize) const;

    /// Deletes every object and every left-over temporary file that Keep doesn't name (relative
    /// paths); returns how many files went.
    int prune(const QSet<QString>& Keep) const;

private:
    QByteArray encode(const QByteArray& Content) const;
    bool existingObjectMatches(const QString& Path, const QByteArray& UnpackedHash) const;
    void writeObject(const QString& Path, const QByteArray& Data) const;
    static QByteArray hashOfFile(const QString& Path, quint64& Size);

    QDir m_outputDirectory;
    shared::EContainerAlgorithm m_algorithm;
    int m_level;
    bool m_verifyExistingObjects;
};

} // namespace packbuilder
