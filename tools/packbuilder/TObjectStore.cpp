#include "TObjectStore.h"

#include "TPackBuildError.h"

#include "compression/TContainerDecoder.h"
#include "compression/TContainerEncoder.h"
#include "hash/TSha256.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMutexLocker>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <exception>
#include <memory>

#include <fcntl.h>
#include <unistd.h>

namespace packbuilder {

const QString TObjectStore::DirectoryName = QStringLiteral("objects");
const QString TObjectStore::DeltaDirectoryName = QStringLiteral("deltas");

TObjectStore::TObjectStore(const QString& outputDirectory, shared::EContainerAlgorithm algorithm, int level,
                           bool verifyExistingObjects)
    : m_outputDirectory(outputDirectory), m_algorithm(algorithm), m_level(level),
      m_verifyExistingObjects(verifyExistingObjects)
{}

QString TObjectStore::relativePathFor(const QByteArray& unpackedHash)
{
    const QString hex = QString::fromLatin1(unpackedHash.toHex());
    return DirectoryName + QLatin1Char('/') + hex.left(2) + QLatin1Char('/') + hex;
}

QString TObjectStore::absolutePathFor(const QByteArray& unpackedHash) const
{
    return m_outputDirectory.filePath(relativePathFor(unpackedHash));
}

bool TObjectStore::canReuseWithoutContent(const QByteArray& unpackedHash) const
{
    return !m_verifyExistingObjects && QFileInfo(absolutePathFor(unpackedHash)).isFile();
}

TStoredObject TObjectStore::store(const QByteArray& content, const QByteArray& unpackedHash, quint64 unpackedSize) const
{
    TStoredObject object;
    object.url = relativePathFor(unpackedHash);
    object.unpackedSize = unpackedSize;
    object.unpackedHash = unpackedHash;
    // A container can't declare an empty content, so empty content is published as it is.
    object.unpack = unpackedSize > 0;

    const QString path = absolutePathFor(unpackedHash);
    const bool exists = QFileInfo(path).isFile();
    if (exists && (!m_verifyExistingObjects || existingObjectMatches(path, unpackedHash))) {
        object.reused = true;
        object.packedHash = hashOfFile(path, object.packedSize);
        return object;
    }
    if (static_cast<quint64>(content.size()) != unpackedSize)
        throw TPackBuildError(QStringLiteral("content of object %1 is missing").arg(object.url));

    const QByteArray packed = object.unpack ? encode(content) : content;
    writeObject(path, packed);
    object.packedSize = static_cast<quint64>(packed.size());
    object.packedHash = shared::TSha256::hash(packed);
    return object;
}

TStoredObject TObjectStore::storeDelta(const QByteArray& delta) const
{
    TStoredObject object;
    object.packedHash = shared::TSha256::hash(delta);
    object.packedSize = static_cast<quint64>(delta.size());
    const QString hex = QString::fromLatin1(object.packedHash.toHex());
    object.url = DeltaDirectoryName + QLatin1Char('/') + hex.left(2) + QLatin1Char('/') + hex;
    const QString path = m_outputDirectory.filePath(object.url);
    object.reused = QFileInfo(path).size() == delta.size();
    if (!object.reused)
        writeObject(path, delta);
    return object;
}

QByteArray TObjectStore::readContent(const QByteArray& unpackedHash) const
{
    const QString path = absolutePathFor(unpackedHash);
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw TPackBuildError(QStringLiteral("cannot open '%1': %2").arg(path, file.errorString()));
    const QByteArray packed = file.readAll();
    QByteArray content;
    try {
        content = unpackedHash == shared::TSha256::hash(QByteArray()) ? packed : shared::decompressContainer(packed);
    } catch (const std::exception& error) {
        throw TPackBuildError(QStringLiteral("cannot decode '%1': %2").arg(path, QString::fromUtf8(error.what())));
    }
    if (shared::TSha256::hash(content) != unpackedHash)
        throw TPackBuildError(QStringLiteral("'%1' does not hold its content").arg(path));
    return content;
}

QByteArray TObjectStore::encode(const QByteArray& content) const
{
    QByteArray packed = shared::TContainerEncoder::encode(content, m_algorithm, m_level);
    // Incompressible content (media, archives) is published stored rather than grown.
    if (m_algorithm != shared::EContainerAlgorithm::Stored && packed.size() > content.size())
        packed = shared::TContainerEncoder::encode(content, shared::EContainerAlgorithm::Stored);
    return packed;
}

bool TObjectStore::existingObjectMatches(const QString& path, const QByteArray& unpackedHash) const
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray packed = file.readAll();
    try {
        const QByteArray content =
            unpackedHash == shared::TSha256::hash(QByteArray()) ? packed : shared::decompressContainer(packed);
        return shared::TSha256::hash(content) == unpackedHash;
    } catch (const std::exception&) {
        return false;
    }
}

void TObjectStore::writeObject(const QString& path, const QByteArray& data) const
{
    createFolderOnce(QFileInfo(path).absolutePath());
    // No sync per object: thousands of small objects would each wait for the disk. syncToDisk
    // flushes them together before a document names them.
    const QString temporaryPath = path + QStringLiteral(".partial");
    QFile file(temporaryPath);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(data) != data.size() || !file.flush()) {
        const QString reason = file.errorString();
        file.remove();
        throw TPackBuildError(QStringLiteral("cannot write '%1': %2").arg(path, reason));
    }
    file.close();
    if (::rename(QFile::encodeName(temporaryPath).constData(), QFile::encodeName(path).constData()) != 0) {
        const QString reason = QString::fromLocal8Bit(std::strerror(errno));
        QFile::remove(temporaryPath);
        throw TPackBuildError(QStringLiteral("cannot write '%1': %2").arg(path, reason));
    }
}

void TObjectStore::createFolderOnce(const QString& folder) const
{
    QMutexLocker lock(&m_foldersMutex);
    if (m_existingFolders.contains(folder))
        return;
    if (!QDir().mkpath(folder))
        throw TPackBuildError(QStringLiteral("cannot create folder '%1'").arg(folder));
    m_existingFolders.insert(folder);
}

void TObjectStore::syncToDisk() const
{
    const QByteArray root = QFile::encodeName(m_outputDirectory.absolutePath());
    const int descriptor = ::open(root.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    const bool synced = descriptor >= 0 && ::syncfs(descriptor) == 0;
    const int error = errno;
    if (descriptor >= 0)
        ::close(descriptor);
    if (!synced)
        throw TPackBuildError(QStringLiteral("cannot sync '%1': %2")
                                  .arg(m_outputDirectory.absolutePath(), QString::fromLocal8Bit(std::strerror(error))));
}

QByteArray TObjectStore::hashOfFile(const QString& path, quint64& size)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw TPackBuildError(QStringLiteral("cannot open '%1': %2").arg(path, file.errorString()));
    constexpr qint64 PortionSize = 4 * 1024 * 1024;
    const std::unique_ptr<char[]> buffer(new char[PortionSize]);
    shared::TSha256 sha256;
    size = 0;
    for (;;) {
        const qint64 got = file.read(buffer.get(), PortionSize);
        if (got < 0)
            throw TPackBuildError(QStringLiteral("cannot read '%1': %2").arg(path, file.errorString()));
        if (got == 0)
            break;
        sha256.addData(buffer.get(), static_cast<std::size_t>(got));
        size += static_cast<quint64>(got);
    }
    return sha256.result();
}

int TObjectStore::prune(const QSet<QString>& keep) const
{
    int removed = 0;
    for (const QString& directory : {DirectoryName, DeltaDirectoryName}) {
        QDirIterator iterator(m_outputDirectory.filePath(directory), QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot,
                              QDirIterator::Subdirectories);
        while (iterator.hasNext()) {
            const QString path = iterator.next();
            if (!keep.contains(m_outputDirectory.relativeFilePath(path)) && QFile::remove(path))
                ++removed;
        }
    }
    return removed;
}

} // namespace packbuilder
