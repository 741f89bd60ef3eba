#include "TLauncherSettings.h"

#include <QCoreApplication>
#include <QDebug>
#include <QDir>
#include <QFileInfo>
#include <QSettings>

#include "TDownloadPreferences.h"

namespace orvan::launcher {

namespace settingskeys {
const QString SectionUrls = QStringLiteral("URLS");
const QString SectionDirectories = QStringLiteral("DIRECTORIES");
const QString SectionFiles = QStringLiteral("FILES");
const QString SectionTiming = QStringLiteral("TIMING");
const QString SectionOptions = QStringLiteral("OPTIONS");
const QString SectionDebug = QStringLiteral("DEBUG");
const QString SectionSecurity = QStringLiteral("SECURITY");
const QString SettingsFileName = QStringLiteral("launchersettings.ini");
const QString EmbeddedSettingsPrefix = QStringLiteral(":/settings/");
} // namespace settingskeys

namespace {

QVariant readValue(QSettings& settings, const QString& section, const QString& key, const QVariant& fallback)
{
    settings.beginGroup(section);
    QVariant value = settings.value(key, fallback);
    settings.endGroup();
    return value;
}

QString readString(QSettings& settings, const QString& section, const QString& key)
{
    return readValue(settings, section, key, QString()).toString();
}

qint64 readInteger(QSettings& settings, const QString& section, const QString& key, int fallback)
{
    return readValue(settings, section, key, fallback).toInt();
}

bool readBool(QSettings& settings, const QString& section, const QString& key, bool fallback)
{
    return readValue(settings, section, key, fallback).toBool();
}

// A present value that is not an integer in [minimum, maximum] is reported and replaced by fallback.
qint64 readBoundedInteger(QSettings& settings, const QString& section, const QString& key, qint64 fallback,
                          qint64 minimum, qint64 maximum)
{
    const QVariant value = readValue(settings, section, key, QVariant());
    if (!value.isValid())
        return fallback;
    const QString text = value.toStringList().join(QLatin1Char(','));
    if (const std::optional<qint64> number = TDownloadPreferences::parseBounded(text, minimum, maximum))
        return *number;
    qWarning().noquote() << "Setting" << section + QLatin1Char('/') + key
                         << "ignored: \"" + text + "\" is not a number from" << minimum << "to" << maximum << "- using"
                         << fallback;
    return fallback;
}

// The INI reader turns a value with commas into a list; the items are joined back first.
QStringList readKeyList(QSettings& settings, const QString& section, const QString& key)
{
    const QString text = readValue(settings, section, key, QVariant()).toStringList().join(QLatin1Char(',')).trimmed();
    if (text.isEmpty())
        return {};
    QStringList items = text.split(QLatin1Char(','));
    for (QString& item : items)
        item = item.trimmed();
    return items;
}

} // namespace

TLauncherSettings TLauncherSettings::fromSettings(QSettings& settings)
{
    using namespace settingskeys;
    TLauncherSettings s;
    s.launcherConfiguration = QUrl(readString(settings, SectionUrls, QStringLiteral("launcherConfiguration")));
    s.cdnDiagnosticsTrace = QUrl(readString(settings, SectionUrls, QStringLiteral("cdnDiagnosticsTrace")));
    s.appendNocacheToPackageUrls = readBool(settings, SectionUrls, QStringLiteral("appendNocacheToPackageUrls"), false);
    s.packages = readString(settings, SectionDirectories, QStringLiteral("packages"));
    s.settingsTarget = readString(settings, SectionDirectories, QStringLiteral("settingsTarget"));
    s.packageFile = readString(settings, SectionFiles, QStringLiteral("packageFile"));
    s.partialPackageFile = readString(settings, SectionFiles, QStringLiteral("partialPackageFile"));
    s.assetFile = readString(settings, SectionFiles, QStringLiteral("assetFile"));
    s.accountGroupFile = readString(settings, SectionFiles, QStringLiteral("accountGroupFile"));
    s.waitNotificationTimeout = readInteger(settings, SectionTiming, QStringLiteral("waitNotificationTimeout"), 0);
    s.downloadErrorTimeout = readInteger(settings, SectionTiming, QStringLiteral("downloadErrorTimeout"), 0);
    s.clientStartTimeout = readInteger(settings, SectionTiming, QStringLiteral("clientStartTimeout"), 0);
    s.fastScan = readBool(settings, SectionOptions, QStringLiteral("fastScan"), true);
    s.skipVerification = readBool(settings, SectionOptions, QStringLiteral("skipVerification"), true);
    s.chunkVerification = readBool(settings, SectionDebug, QStringLiteral("chunkVerification"), false);
    s.maxCachedChunks = static_cast<int>(readInteger(settings, SectionOptions, QStringLiteral("maxCachedChunks"), 100));
    s.maxConcurrentDownloads = static_cast<int>(readBoundedInteger(
        settings, SectionOptions, QStringLiteral("maxConcurrentDownloads"), 10, 1, MaxConcurrentDownloadsSetting));
    s.maxDownloadRate = readBoundedInteger(settings, SectionOptions, QStringLiteral("maxDownloadRate"), 0, 0,
                                           TDownloadPreferences::MaxRateBytesPerSecond);
    s.publicKeys = readKeyList(settings, SectionSecurity, QStringLiteral("publicKeys"));
    return s;
}

QString TLauncherSettings::locateSettingsFile()
{
    const QString candidate = QDir::toNativeSeparators(QCoreApplication::applicationDirPath() + QLatin1Char('/') +
                                                       settingskeys::SettingsFileName);
    if (QFileInfo::exists(candidate))
        return candidate;
    return settingskeys::EmbeddedSettingsPrefix + settingskeys::SettingsFileName;
}

} // namespace orvan::launcher
