#include "TLinkFreePath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <stdexcept>

namespace shared {

namespace {

[[noreturn]] void failToCreate(const QString& folder)
{
    throw std::runtime_error(
        QStringLiteral("Failed to create folder: '%1'.").arg(QDir::toNativeSeparators(folder)).toStdString());
}

bool isRealFolder(const QFileInfo& info)
{
    // The link test first: it reads the entry itself, and the folder test then answers from that same
    // look-up. Asked the other way round, a link that another thread replaces between the two
    // look-ups passes as a real folder that is not there yet.
    return !info.isSymLink() && info.isDir();
}

} // namespace

QStringList TLinkFreePath::parentsBelow(const QString& base, const QString& path)
{
    const QString cleanBase = QDir::cleanPath(QDir(base).absolutePath());
    const QString relative = QDir(cleanBase).relativeFilePath(QDir::cleanPath(QFileInfo(path).absoluteFilePath()));
    if (relative.isEmpty() || relative == QLatin1String("..") || relative.startsWith(QLatin1String("../")) ||
        QDir::isAbsolutePath(relative))
        return {};
    QStringList parents;
    QString current = cleanBase;
    const QStringList components = relative.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (int index = 0; index + 1 < components.size(); ++index) {
        current += QLatin1Char('/') + components[index];
        parents << current;
    }
    return parents;
}

bool TLinkFreePath::hasLinkedParent(const QString& base, const QString& path)
{
    for (const QString& parent : parentsBelow(base, path)) {
        const QFileInfo info(parent);
        if (info.isSymLink() || (info.exists() && !info.isDir()))
            return true;
        if (!info.exists())
            return false;
    }
    return false;
}

void TLinkFreePath::prepareParentFolders(const QString& base, const QString& path)
{
    // The error names the file's folder, whichever of its ancestors could not be made.
    const QString folder = QFileInfo(path).absoluteDir().absolutePath();
    // The base itself may be missing (a first installation) and may be a link.
    if (!QFileInfo(base).isDir() && !QDir().mkpath(base))
        failToCreate(folder);
    for (const QString& parent : parentsBelow(base, path)) {
        const QFileInfo info(parent);
        if (isRealFolder(info))
            continue;
        // Files of one folder are prepared on several threads at once: another one may have removed the link or
        // made the folder in the meantime, so only the outcome counts, not the calls. QFile::remove unlinks a
        // symbolic link itself, dangling or not, and never removes a folder.
        if (info.isSymLink())
            QFile::remove(parent);
        QDir().mkdir(parent);
        if (!isRealFolder(QFileInfo(parent)))
            failToCreate(folder);
    }
    if (!QFileInfo(folder).isDir())
        failToCreate(folder);
}

} // namespace shared
