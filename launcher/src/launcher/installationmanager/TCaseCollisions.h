#pragma once

#include <QDir>
#include <QString>
#include <QStringList>

#include <functional>

namespace shared {
class TFileSystemHelper;
}

namespace orvan::launcher {

class TPackageConfigurationReader;

/// Finds the files of a package whose paths differ only in case. A file system that ignores case
/// (exFAT, NTFS, vfat) would store them as one file, so there such a package is invalid package
/// data; elsewhere they are distinct files and the package installs as it always did. Whether the
/// installation directory's file system ignores case is asked of a probe, replaceable for tests.
class TCaseCollisions
{
public:
    /// True when the file system of the existing Folder finds a name in another case.
    using TCaseProbe = std::function<bool(const QString& folder)>;

    /// The name of the probe's file while it exists.
    static const QString probePrefix;

    TCaseCollisions();

    void setCaseProbe(TCaseProbe probe);

    /// The localFile of every file of Configuration whose path in Directory equals another file's
    /// path once case is folded, in package order; empty when there is none or when Directory's
    /// file system tells case apart (the probe runs only in the first case).
    QStringList collidingFiles(const TPackageConfigurationReader& configuration, const QDir& directory,
                               const ::shared::TFileSystemHelper& files) const;

    /// The grouping alone: files whose resolved paths differ but fold to the same path.
    static QStringList filesDifferingOnlyInCase(const TPackageConfigurationReader& configuration, const QDir& directory,
                                                const ::shared::TFileSystemHelper& files);
    /// Makes a probe file in Folder and looks it up in upper case; false when it can't be made.
    static bool ignoresCase(const QString& folder);

private:
    TCaseProbe m_ignoresCase;
};

} // namespace orvan::launcher
