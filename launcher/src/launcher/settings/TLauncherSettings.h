#pragma once

#include <QString>
#include <QStringList>
#include <QUrl>

class QSettings;

namespace orvan::launcher {

/// Section and key names of launchersettings.ini, shared by the reader and its users.
namespace settingskeys {
extern const QString SectionUrls;
extern const QString SectionDirectories;
extern const QString SectionFiles;
extern const QString SectionTiming;
extern const QString SectionOptions;
extern const QString SectionDebug;
extern const QString SectionSecurity;
extern const QString SettingsFileName;
extern const QString EmbeddedSettingsPrefix;
} // namespace settingskeys

/// The launcher's fixed configuration, read once at start-up and immutable afterwards.
struct TLauncherSettings
{
    QUrl launcherConfiguration;
    QUrl cdnDiagnosticsTrace;
    bool appendNocacheToPackageUrls = false;
    QString packages;
    QString settingsTarget;
    QString packageFile;
    QString partialPackageFile;
    QString assetFile;
    QString accountGroupFile;
    qint64 waitNotificationTimeout = 0;
    qint64 downloadErrorTimeout = 0;
    qint64 clientStartTimeout = 0;
    bool fastScan = true;
    bool skipVerification = true;
    bool chunkVerification = false;
    int maxCachedChunks = 100;
    /// Parallel downloads of each installation; a value outside 1 to MaxConcurrentDownloadsSetting
    /// falls back to 10 with a log line.
    int maxConcurrentDownloads = 10;
    static constexpr int MaxConcurrentDownloadsSetting = 64;
    /// Bytes per second for all downloads together; 0: no limit. A negative, non-numeric or absurd
    /// value falls back to 0 with a log line.
    qint64 maxDownloadRate = 0;
    /// Trusted signing keys of the main configuration, as written (one text per comma-separated
    /// item, trimmed; empty items kept so that they are reported). Empty: an unsigned deployment.
    QStringList publicKeys;

    /// Reads every value from an INI settings object; missing keys take the code defaults above.
    static TLauncherSettings fromSettings(QSettings& settings);
    /// The file next to the executable when it exists, otherwise the compiled-in default.
    static QString locateSettingsFile();
};

} // namespace orvan::launcher
