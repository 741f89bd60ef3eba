#pragma once

#include "TStoredObject.h"

#include "compression/EContainerAlgorithm.h"

#include <QByteArray>
#include <QDir>
#include <QMutex>
#include <QSet>
#include <QString>

namespace packbuilder {

/// The content-addressed object store below a package's output folder: an object is named by the
/// SHA-256 of its content, so an object that is already published serves every later build that
/// has the same content, and identical content is stored once. Objects are written to a
/// temporary name and renamed, so no object is ever seen half written; syncToDisk makes them
/// durable all at once. Safe for concurrent use by several threads as long as no two of them
/// store the same content at once.
class TObjectStore
{
public:
    static const QString DirectoryName;
    /// Where chunk deltas go, named by the SHA-256 of the delta itself.
    static const QString DeltaDirectoryName;

    TObjectStore(const QString& outputDirectory, shared::EContainerAlgorithm algorithm, int level,
                 bool verifyExistingObjects);

    /// The object's path relative to the output folder.
    static QString relativePathFor(const QByteArray& unpackedHash);
    QString absolutePathFor(const QByteArray& unpackedHash) const;
    /// The path of a URL relative to the output folder.
    QString absolutePathOfUrl(const QString& url) const { return m_outputDirectory.filePath(url); }
    /// True when the object exists and is going to be reused without its content.
    bool canReuseWithoutContent(const QByteArray& unpackedHash) const;

    /// Stores Content (whose SHA-256 is unpackedHash) unless the store has it already. Content
    /// may be empty when canReuseWithoutContent said true.
    TStoredObject store(const QByteArray& content, const QByteArray& unpackedHash, quint64 unpackedSize) const;

    /// Stores a chunk delta as it is, unless the store has it already.
    TStoredObject storeDelta(const QByteArray& delta) const;
    /// The content of the object with this content hash, decoded and checked; throws
    /// TPackBuildError when it is missing, undecodable or not that content.
    QByteArray readContent(const QByteArray& unpackedHash) const;

    /// Flushes the objects written so far to the disk; throws TPackBuildError when that fails.
    /// A document may name the objects only after this.
    void syncToDisk() const;

    /// Deletes every object and delta and every left-over temporary file that Keep doesn't name
    /// (relative paths); returns how many files went.
    int prune(const QSet<QString>& keep) const;

private:
    QByteArray encode(const QByteArray& content) const;
    bool existingObjectMatches(const QString& path, const QByteArray& unpackedHash) const;
    void writeObject(const QString& path, const QByteArray& data) const;
    void createFolderOnce(const QString& folder) const;
    static QByteArray hashOfFile(const QString& path, quint64& size);

    QDir m_outputDirectory;
    shared::EContainerAlgorithm m_algorithm;
    int m_level;
    bool m_verifyExistingObjects;
    mutable QMutex m_foldersMutex;
    /// Folders of the store known to exist, so that each is created once per build.
    mutable QSet<QString> m_existingFolders;
};

} // namespace packbuilder
