#include "TFileSystemHelper.h"

#include "TFileIoError.h"
#include "TLZMACompressedReadOnlyMemoryBlob.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QJsonParseError>
#include <QRandomGenerator>
#include <QSettings>
#include <QTextStream>
#include <QtDebug>

#include <cerrno>
#include <stdexcept>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace shared {

namespace {

const QString CompressedSuffix = QStringLiteral(".lzma");

void writeText(const QString& path, const QString& text, QIODevice::OpenMode mode)
{
    QFile file(path);
    if (!file.open(mode | QIODevice::WriteOnly | QIODevice::Text))
        return;
    QTextStream stream(&file);
    stream << text;
    stream.flush();
    file.close();
}

/// True when path is base itself or lies below it; a sibling such as base + "2" is outside.
bool isInside(const QString& path, const QString& base)
{
    if (path == base)
        return true;
    const QString prefix = base.endsWith(QLatin1Char('/')) ? base : base + QLatin1Char('/');
    return path.startsWith(prefix);
}

QString lastErrorText()
{
    return qt_error_string(errno);
}

/// Opens Path (a folder or a file) for syncing; -1 with errno set on failure.
int openForSync(const QString& path)
{
    int descriptor;
    do {
        descriptor = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    } while (descriptor < 0 && errno == EINTR);
    return descriptor;
}

/// Makes the entries of a folder (created, renamed or removed names) durable.
void syncFolder(const QString& path)
{
    const int descriptor = openForSync(path);
    if (descriptor < 0)
        throw TFileIoError(path, lastErrorText());
    // Some file systems cannot sync a folder (EINVAL); their entries are as durable as they get.
    const bool failed = ::fsync(descriptor) != 0 && errno != EINVAL;
    const QString error = failed ? lastErrorText() : QString();
    ::close(descriptor);
    if (failed)
        throw TFileIoError(path, error);
}

/// A new, uniquely named file next to a target that replaces the target once it is complete;
/// it is removed again unless it was renamed over the target.
class TReplacementFile
{
public:
    explicit TReplacementFile(const QString& targetPath) : m_targetPath(targetPath)
    {
        const QByteArray target = QFile::encodeName(targetPath);
        for (int attempt = 0; attempt < 16 && m_descriptor < 0; ++attempt) {
            m_name = target + '.' + QByteArray::number(QRandomGenerator::global()->generate64(), 16) + ".tmp";
            // 0666 and the process's umask, as for any other file the launcher creates.
            m_descriptor = ::open(m_name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            if (m_descriptor < 0 && errno != EEXIST && errno != EINTR)
                break;
        }
        if (m_descriptor < 0) {
            m_name.clear();
            throw TFileIoError(targetPath, QStringLiteral("Could not open file."));
        }
    }
    TReplacementFile(const TReplacementFile&) = delete;
    TReplacementFile& operator=(const TReplacementFile&) = delete;
    ~TReplacementFile()
    {
        if (m_descriptor >= 0)
            ::close(m_descriptor);
        if (!m_name.isEmpty())
            ::unlink(m_name.constData());
    }

    void write(const QByteArray& data)
    {
        const char* next = data.constData();
        qint64 left = data.size();
        while (left > 0) {
            const ssize_t written = ::write(m_descriptor, next, static_cast<std::size_t>(left));
            if (written < 0 && errno == EINTR)
                continue;
            if (written <= 0)
                throw TFileIoError(m_targetPath, QStringLiteral("Could not write all data to disk."));
            next += written;
            left -= written;
        }
    }

    /// Syncs and closes the file, then renames it over the target.
    void commit()
    {
        if (::fsync(m_descriptor) != 0)
            throw TFileIoError(m_targetPath, lastErrorText());
        const int descriptor = m_descriptor;
        m_descriptor = -1;
        // A failed close may be the only report of a failed write.
        if (::close(descriptor) != 0)
            throw TFileIoError(m_targetPath, lastErrorText());
        if (::rename(m_name.constData(), QFile::encodeName(m_targetPath).constData()) != 0)
            throw TFileIoError(m_targetPath, lastErrorText());
        m_name.clear();
    }

private:
    QString m_targetPath;
    QByteArray m_name;
    int m_descriptor = -1;
};

} // namespace

TFileSystemHelper::~TFileSystemHelper() = default;

std::shared_ptr<TReadOnlyMemoryBlob> TFileSystemHelper::openReadOnlyMemoryBlob(const QString& path) const
{
    if (fileExists(path)) {
        if (path.endsWith(CompressedSuffix))
            return std::make_shared<TLZMACompressedReadOnlyMemoryBlob>(path);
        return std::make_shared<TReadOnlyMemoryBlob>(path);
    }
    const QString compressedPath = path + CompressedSuffix;
    if (fileExists(compressedPath))
        return std::make_shared<TLZMACompressedReadOnlyMemoryBlob>(compressedPath);
    return std::make_shared<TReadOnlyMemoryBlob>(path);
}

QByteArray TFileSystemHelper::readFile(const QString& path) const
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return TFileIoError::readAllAndClose(file);
}

QByteArray TFileSystemHelper::readFileIfPresent(const QString& path) const
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    if (file.error() == QFileDevice::OpenError)
        return {};
    return TFileIoError::readAllAndClose(file);
}

void TFileSystemHelper::writeFile(const QString& path, const QByteArray& data) const
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        throw TFileIoError(file.fileName(), QStringLiteral("Could not open file."));
    TFileIoError::check(file);
    const qint64 written = file.write(data);
    TFileIoError::check(file);
    if (written != data.size())
        throw TFileIoError(file.fileName(), QStringLiteral("Could not write all data to disk."));
    file.close();
    TFileIoError::check(file);
}

void TFileSystemHelper::writeTextFile(const QString& path, const QString& text) const
{
    writeText(path, text, QIODevice::Truncate);
}

void TFileSystemHelper::appendTextFile(const QString& path, const QString& text) const
{
    writeText(path, text, QIODevice::Append);
}

void TFileSystemHelper::deleteFile(const QString& path) const
{
    if (!QFile::remove(path))
        throw std::runtime_error(QString(QStringLiteral("Failed to delete file ") + path).toStdString());
}

void TFileSystemHelper::copyFile(const QString& sourcePath, const QString& targetPath) const
{
    QFile(sourcePath).copy(targetPath);
}

QDir TFileSystemHelper::createFolder(const QString& path) const
{
    QDir dir(path);
    if (!dir.exists()) {
        if (!dir.mkpath(QStringLiteral(".")))
            throw std::runtime_error(QStringLiteral("Failed to create folder: '%1'.")
                                         .arg(QDir::toNativeSeparators(dir.path()))
                                         .toStdString());
        dir.refresh();
    }
    return dir;
}

QString TFileSystemHelper::resolvePathInsideDirectory(const QDir& base, const QString& relativePath) const
{
    const QString basePath = QDir::cleanPath(base.absolutePath());
    const QString joined = QDir::cleanPath(joinPath({basePath, relativePath}));
    if (isInside(joined, basePath))
        return joined;

    QString name = QFileInfo(relativePath).fileName();
    if (name.isEmpty())
        name = QDir(relativePath).dirName();
    const QString fallback = QDir::cleanPath(joinPath({basePath, name}));
    // A name of ".." would climb out once more; such a path resolves to the base itself.
    return isInside(fallback, basePath) ? fallback : basePath;
}

void TFileSystemHelper::forEachFileInDirectory(const QString& path,
                                               const std::function<void(const TLocalFileInfo&)>& callback) const
{
    const std::vector<TLocalFileInfo> files = listFilesInDirectory(path);
    for (const TLocalFileInfo& file : files)
        callback(file);
}

std::vector<TLocalFileInfo> TFileSystemHelper::listFilesInDirectory(const QString& path) const
{
    const QFileInfoList entries = QDir(path).entryInfoList(QDir::Files | QDir::NoDotAndDotDot, QDir::NoSort);
    std::vector<TLocalFileInfo> files;
    files.reserve(static_cast<std::size_t>(entries.size()));
    for (const QFileInfo& entry : entries)
        files.emplace_back(entry.absoluteFilePath(), entry.size());
    return files;
}

bool TFileSystemHelper::fileExists(const QString& path) const
{
    return QFileInfo::exists(path);
}

bool TFileSystemHelper::directoryExists(const QString& path) const
{
    return QDir(path).exists();
}

QString TFileSystemHelper::joinPath(const QStringList& parts) const
{
    QString joined;
    for (const QString& part : parts)
        joined += QLatin1Char('/') + part;
    if (!joined.isEmpty())
        joined.remove(0, 1);
    return QDir::toNativeSeparators(joined);
}

QDir TFileSystemHelper::getOrCreateSubdirectory(const QString& parentPath, const QString& subdirectoryName) const
{
    if (!directoryExists(parentPath))
        throw std::runtime_error("Directory doesn't exist");
    QDir dir(parentPath);
    if (!dir.cd(subdirectoryName)) {
        if (!dir.mkdir(subdirectoryName) || !dir.cd(subdirectoryName))
            throw std::runtime_error("Failed to create subdirectory.");
    }
    return dir;
}

std::shared_ptr<QSettings> TFileSystemHelper::openSettingsFile(const QString& path) const
{
    return std::make_shared<QSettings>(path, QSettings::IniFormat);
}

QJsonDocument TFileSystemHelper::readJsonFileAsQJsonDocument(const QString& path, bool& parseFailed) const
{
    const QByteArray data = readFileIfPresent(path);
    QJsonParseError error{};
    QJsonDocument document = QJsonDocument::fromJson(data, &error);
    if (!data.isEmpty() && error.error != QJsonParseError::NoError) {
        qWarning() << "Json parse error in file" << path << ": " << error.errorString() << "at offset" << error.offset;
        parseFailed = true;
        return {};
    }
    parseFailed = false;
    return document;
}

std::shared_ptr<QImage> TFileSystemHelper::readImageFile(const QString& path, const char* format) const
{
    const QByteArray data = readFileIfPresent(path);
    if (data.isEmpty())
        return {};
    QImage image = QImage::fromData(data, format);
    if (image.isNull())
        return {};
    return std::make_shared<QImage>(std::move(image));
}

void TFileSystemHelper::writeImageFile(const QImage& image, const QString& path, const char* format) const
{
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    // An image that cannot be encoded must not silently replace the file with nothing.
    if (!image.save(&buffer, format, -1))
        throw TFileIoError(path, QStringLiteral("Could not encode image."));
    writeFile(path, buffer.data());
}

void TFileSystemHelper::writeFileAtomically(const QString& path, const QByteArray& data) const
{
    TReplacementFile replacement(path);
    replacement.write(data);
    replacement.commit();
    syncFolderOf(path);
}

void TFileSystemHelper::renameFile(const QString& sourcePath, const QString& targetPath) const
{
    if (::rename(QFile::encodeName(sourcePath).constData(), QFile::encodeName(targetPath).constData()) != 0)
        throw TFileIoError(sourcePath, lastErrorText());
    syncFolderOf(targetPath);
    if (QFileInfo(sourcePath).absolutePath() != QFileInfo(targetPath).absolutePath())
        syncFolderOf(sourcePath);
}

bool TFileSystemHelper::removeRegularFile(const QString& path) const
{
    struct stat status
    {
    };
    if (::lstat(QFile::encodeName(path).constData(), &status) != 0) {
        if (errno == ENOENT || errno == ENOTDIR)
            return false;
        throw TFileIoError(path, lastErrorText());
    }
    if (S_ISDIR(status.st_mode))
        return false;
    deleteFile(path);
    return true;
}

void TFileSystemHelper::syncFileSystem(const QString& path) const
{
    const int descriptor = openForSync(path);
    if (descriptor < 0)
        throw TFileIoError(path, lastErrorText());
    const bool failed = ::syncfs(descriptor) != 0;
    const QString error = failed ? lastErrorText() : QString();
    ::close(descriptor);
    if (failed)
        throw TFileIoError(path, error);
}

void TFileSystemHelper::syncFolderOf(const QString& path)
{
    syncFolder(QFileInfo(path).absolutePath());
}

} // namespace shared
