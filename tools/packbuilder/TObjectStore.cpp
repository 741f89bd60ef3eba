#include "TObjectStore.h"

#include "TPackBuildError.h"

#include "compression/TContainerDecoder.h"
#include "compression/TContainerEncoder.h"
#include "hash/TSha256.h"

#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <exception>
#include <memory>

namespace packbuilder {

const QString TObjectStore::DirectoryName = QStringLiteral("objects");

TObjectStore::TObjectStore(const QString& OutputDirectory, shared::EContainerAlgorithm Algorithm, int Level,
                           bool VerifyExistingObjects)
    : m_outputDirectory(OutputDirectory), m_algorithm(Algorithm), m_level(Level),
      m_verifyExistingObjects(VerifyExistingObjects)
{}

QString TObjectStore::relativePathFor(const QByteArray& UnpackedHash)
{
    const QString hex = QString::fromLatin1(UnpackedHash.toHex());
    return DirectoryName + QLatin1Char('/') + hex.left(2) + QLatin1Char('/') + hex;
}

QString TObjectStore::absolutePathFor(const QByteArray& UnpackedHash) const
{
    return m_outputDirectory.filePath(relativePathFor(UnpackedHash));
}

bool TObjectStore::canReuseWithoutContent(const QByteArray& UnpackedHash) const
{
    return !m_verifyExistingObjects && QFileInfo(absolutePathFor(UnpackedHash)).isFile();
}

TStoredObject TObjectStore::store(const QByteArray& Content, const QByteArray& UnpackedHash, quint64 UnpackedSize) const
{
    TStoredObject object;
    object.url = relativePathFor(UnpackedHash);
    object.unpackedSize = UnpackedSize;
    object.unpackedHash = UnpackedHash;
    // A container can't declare an empty content, so empty content is published as it is.
    object.unpack = UnpackedSize > 0;

    const QString path = absolutePathFor(UnpackedHash);
    const bool exists = QFileInfo(path).isFile();
    if (exists && (!m_verifyExistingObjects || existingObjectMatches(path, UnpackedHash))) {
        object.reused = true;
        object.packedHash = hashOfFile(path, object.packedSize);
        return object;
    }
    if (static_cast<quint64>(Content.size()) != UnpackedSize)
        throw TPackBuildError(QStringLiteral("content of object %1 is missing").arg(object.url));

    const QByteArray packed = object.unpack ? encode(Content) : Content;
    writeObject(path, packed);
    object.packedSize = static_cast<quint64>(packed.size());
    object.packedHash = shared::TSha256::hash(packed);
    return object;
}

QByteArray TObjectStore::encode(const QByteArray& Content) const
{
    QByteArray packed = shared::TContainerEncoder::encode(Content, m_algorithm, m_level);
    // Incompressible content (media, archives) is published stored rather than grown.
    if (m_algorithm != shared::EContainerAlgorithm::Stored && packed.size() > Content.size())
        packed = shared::TContainerEncoder::encode(Content, shared::EContainerAlgorithm::Stored);
    return packed;
}

bool TObjectStore::existingObjectMatches(const QString& Path, const QByteArray& UnpackedHash) const
{
    QFile file(Path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QByteArray packed = file.readAll();
    try {
        const QByteArray content =
            UnpackedHash == shared::TSha256::hash(QByteArray()) ? packed : shared::decompressContainer(packed);
        return shared::TSha256::hash(content) == UnpackedHash;
    } catch (const std::exception&) {
        return false;
    }
}

void TObjectStore::writeObject(const QString& Path, const QByteArray& Data) const
{
    const QString folder = QFileInfo(Path).absolutePath();
    if (!QDir().mkpath(folder))
        throw TPackBuildError(QStringLiteral("cannot create folder '%1'").arg(folder));
    QSaveFile file(Path);
    if (!file.open(QIODevice::WriteOnly) || file.write(Data) != Data.size() || !file.commit())
        throw TPackBuildError(QStringLiteral("cannot write '%1': %2").arg(Path, file.errorString()));
}

QByteArray TObjectStore::hashOfFile(const QString& Path, quint64& Size)
{
    QFile file(Path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Unbuffered))
        throw TPackBuildError(QStringLiteral("cannot open '%1': %2").arg(Path, file.errorString()));
    constexpr qint64 PortionSize = 4 * 1024 * 1024;
    const std::unique_ptr<char[]> buffer(new char[PortionSize]);
    shared::TSha256 sha256;
    Size = 0;
    for (;;) {
        const qint64 got = file.read(buffer.get(), PortionSize);
        if (got < 0)
            throw TPackBuildError(QStringLiteral("cannot read '%1': %2").arg(Path, file.errorString()));
        if (got == 0)
            break;
        sha256.addData(buffer.get(), static_cast<std::size_t>(got));
        Size += static_cast<quint64>(got);
    }
    return sha256.result();
}

int TObjectStore::prune(const QSet<QString>& Keep) const
{
    const QString root = m_outputDirectory.filePath(DirectoryName);
    int removed = 0;
    QDirIterator iterator(root, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (iterator.hasNext()) {
        const QString path = iterator.next();
        if (!Keep.contains(m_outputDirectory.relativeFilePath(path)) && QFile::remove(path))
            ++removed;
    }
    return removed;
}

} // namespace packbuilder
