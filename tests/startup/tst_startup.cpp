// Settings, log line format, account group file and translation loading.
#include "logging/TLogMessageHandler.h"
#include "settings/TAccountGroupFile.h"
#include "settings/TDownloadPreferences.h"
#include "settings/TLauncherFilesystemHelper.h"
#include "settings/TLauncherSettings.h"
#include "support/TLogCapture.h"
#include "support/TTemporaryHome.h"
#include "translation/TTranslationManager.h"

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace orvan::launcher;

class TestStartup : public QObject
{
    Q_OBJECT

private:
    testsupport::TTemporaryHome m_home;
    QTemporaryDir m_dir;

    QString writeFile(const QString& name, const QByteArray& data)
    {
        const QString path = m_dir.filePath(name);
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return QString();
        file.write(data);
        return path;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(QStringLiteral("Brelmor GmbH"));
        QCoreApplication::setApplicationName(QStringLiteral("Quenmar Online"));
    }

    void embeddedSettingsAreCrLfTextWithDefaults()
    {
        TLauncherFilesystemHelper helper(QStringLiteral(":/settings/launchersettings.ini"));
        const auto settings = helper.settings();
        QVERIFY(settings->launcherConfiguration.isValid());
        QCOMPARE(settings->launcherConfiguration.scheme(), QStringLiteral("https"));
        QVERIFY(settings->launcherConfiguration.path().endsWith(QStringLiteral("/launcher/brlmetadata.json")));
        QVERIFY(settings->cdnDiagnosticsTrace.isEmpty());
        QCOMPARE(settings->appendNocacheToPackageUrls, false);
        QCOMPARE(settings->packages, QStringLiteral("packages"));
        QCOMPARE(settings->settingsTarget, QStringLiteral("QuenmarOnlineClient_Data/Data/Settings"));
        QCOMPARE(settings->packageFile, QStringLiteral("package.json"));
        QCOMPARE(settings->partialPackageFile, QStringLiteral("partial-package.json"));
        QCOMPARE(settings->assetFile, QStringLiteral("assets.json"));
        QCOMPARE(settings->accountGroupFile, QStringLiteral("accountgroup.json"));
        QCOMPARE(settings->waitNotificationTimeout, qint64(500));
        QCOMPARE(settings->downloadErrorTimeout, qint64(10000));
        QCOMPARE(settings->clientStartTimeout, qint64(30000));
        QCOMPARE(settings->fastScan, true);
        QCOMPARE(settings->skipVerification, true);
        QCOMPARE(settings->chunkVerification, false);
        QCOMPARE(settings->maxCachedChunks, 100);
        QCOMPARE(settings->maxConcurrentDownloads, 10);
        QCOMPARE(helper.accountGroupTargetPath(),
                 QStringLiteral("QuenmarOnlineClient_Data/Data/Settings/accountgroup.json"));
        QCOMPARE(helper.accountGroupFileName(), QStringLiteral("accountgroup.json"));

        QFile embedded(QStringLiteral(":/settings/launchersettings.ini"));
        QVERIFY(embedded.open(QIODevice::ReadOnly));
        const QByteArray text = embedded.readAll();
        QVERIFY(text.startsWith("[URLS]\r\nlauncherConfiguration=https://"));
        QVERIFY(text.contains("\r\n\r\n[DIRECTORIES]\r\npackages=packages\r\n"));
        QVERIFY(text.endsWith("[TIMING]\r\nwaitNotificationTimeout=500\r\ndownloadErrorTimeout=10000\r\n"
                              "clientStartTimeout=30000\r\n\r\n"));
        QCOMPARE(text.count('\n'), text.count("\r\n"));
        // The window artwork is compiled into the programs that draw, never into the settings library.
        QVERIFY(!QFile::exists(QStringLiteral(":/images/launcher/BackgroundImage.jpg")));
    }

    void outsideFileReplacesEmbeddedAsAWhole()
    {
        const QString path = writeFile(QStringLiteral("only-urls.ini"),
                                       "[URLS]\r\nlauncherConfiguration=http://127.0.0.1:1/cfg.json\r\n");
        TLauncherFilesystemHelper helper(path);
        const auto settings = helper.settings();
        QCOMPARE(settings->launcherConfiguration, QUrl(QStringLiteral("http://127.0.0.1:1/cfg.json")));
        QCOMPARE(settings->waitNotificationTimeout, qint64(0));
        QCOMPARE(settings->downloadErrorTimeout, qint64(0));
        QCOMPARE(settings->clientStartTimeout, qint64(0));
        QVERIFY(settings->packages.isEmpty());
        QVERIFY(settings->packageFile.isEmpty());
        QCOMPARE(settings->fastScan, true);
        QCOMPARE(settings->skipVerification, true);
        QCOMPARE(settings->maxCachedChunks, 100);
        QCOMPARE(settings->maxConcurrentDownloads, 10);
    }

    void malformedValuesConvertToZeroOrFalse()
    {
        const QString path =
            writeFile(QStringLiteral("odd.ini"), "[TIMING]\nwaitNotificationTimeout=soon\n[OPTIONS]\nfastScan=0\n"
                                                 "skipVerification=false\nmaxCachedChunks=x\nmaxConcurrentDownloads=4\n"
                                                 "[DEBUG]\nchunkVerification=1\n");
        TLauncherFilesystemHelper helper(path);
        const auto settings = helper.settings();
        QCOMPARE(settings->waitNotificationTimeout, qint64(0));
        QCOMPARE(settings->fastScan, false);
        QCOMPARE(settings->skipVerification, false);
        QCOMPARE(settings->maxCachedChunks, 0);
        QCOMPARE(settings->maxConcurrentDownloads, 4);
        QCOMPARE(settings->chunkVerification, true);
    }

    void missingSettingsFileGivesCodeDefaults()
    {
        TLauncherFilesystemHelper helper(m_dir.filePath(QStringLiteral("does-not-exist.ini")));
        QVERIFY(helper.settings()->launcherConfiguration.isEmpty());
        QCOMPARE(helper.settings()->maxConcurrentDownloads, 10);
    }

    void downloadOptionsFallBackOnBadValues_data()
    {
        QTest::addColumn<QByteArray>("options");
        QTest::addColumn<qint64>("rate");
        QTest::addColumn<int>("parallel");
        QTest::addColumn<int>("warnings");
        QTest::newRow("absent") << QByteArray() << qint64(0) << 10 << 0;
        QTest::newRow("rate") << QByteArray("maxDownloadRate=5000000\n") << qint64(5000000) << 10 << 0;
        QTest::newRow("rate 0") << QByteArray("maxDownloadRate=0\n") << qint64(0) << 10 << 0;
        QTest::newRow("negative rate") << QByteArray("maxDownloadRate=-5\n") << qint64(0) << 10 << 1;
        QTest::newRow("text rate") << QByteArray("maxDownloadRate=fast\n") << qint64(0) << 10 << 1;
        QTest::newRow("absurd rate") << QByteArray("maxDownloadRate=99999999999999999\n") << qint64(0) << 10 << 1;
        QTest::newRow("count x") << QByteArray("maxConcurrentDownloads=x\n") << qint64(0) << 10 << 1;
        QTest::newRow("count -3") << QByteArray("maxConcurrentDownloads=-3\n") << qint64(0) << 10 << 1;
        QTest::newRow("count 0") << QByteArray("maxConcurrentDownloads=0\n") << qint64(0) << 10 << 1;
        QTest::newRow("count 100000") << QByteArray("maxConcurrentDownloads=100000\n") << qint64(0) << 10 << 1;
        QTest::newRow("count 64") << QByteArray("maxConcurrentDownloads=64\n") << qint64(0) << 64 << 0;
    }

    void downloadOptionsFallBackOnBadValues()
    {
        QFETCH(QByteArray, options);
        QFETCH(qint64, rate);
        QFETCH(int, parallel);
        QFETCH(int, warnings);
        testsupport::TLogCapture log(testsupport::TLogCapture::EForwarding::Nothing);
        TLauncherFilesystemHelper helper(writeFile(QStringLiteral("download.ini"), "[OPTIONS]\n" + options));
        QCOMPARE(helper.settings()->maxDownloadRate, rate);
        QCOMPARE(helper.settings()->maxConcurrentDownloads, parallel);
        QCOMPARE(log.count(QStringLiteral("Warning: Setting OPTIONS/max.* ignored: .*")), warnings);
    }

    void storedDownloadChoiceOverridesDefaults_data()
    {
        QTest::addColumn<QVariant>("storedRate");
        QTest::addColumn<QVariant>("storedParallel");
        QTest::addColumn<qint64>("rate");
        QTest::addColumn<int>("parallel");
        QTest::newRow("nothing stored") << QVariant() << QVariant() << qint64(2000000) << 12;
        QTest::newRow("both stored") << QVariant(3000000) << QVariant(4) << qint64(3000000) << 4;
        QTest::newRow("no limit stored") << QVariant(0) << QVariant() << qint64(0) << 12;
        QTest::newRow("text") << QVariant("abc") << QVariant("many") << qint64(2000000) << 12;
        QTest::newRow("out of range") << QVariant(-1) << QVariant(17) << qint64(2000000) << 12;
        QTest::newRow("count 0") << QVariant() << QVariant(0) << qint64(2000000) << 12;
    }

    void storedDownloadChoiceOverridesDefaults()
    {
        QFETCH(QVariant, storedRate);
        QFETCH(QVariant, storedParallel);
        QFETCH(qint64, rate);
        QFETCH(int, parallel);
        QSettings store;
        store.remove(QStringLiteral("downloads"));
        if (storedRate.isValid())
            store.setValue(TDownloadPreferences::RateKey, storedRate);
        if (storedParallel.isValid())
            store.setValue(TDownloadPreferences::ParallelDownloadsKey, storedParallel);
        store.sync();

        testsupport::TLogCapture log(testsupport::TLogCapture::EForwarding::Nothing);
        const TDownloadPreferences preferences(2000000, 12);
        QCOMPARE(preferences.maxDownloadRate(), rate);
        QCOMPARE(preferences.maxConcurrentDownloads(), parallel);
        // An unusable stored value is reported and removed, so that the next start is quiet.
        const int ignored = (storedRate.isValid() && rate != storedRate.toLongLong() ? 1 : 0) +
                            (storedParallel.isValid() && parallel != storedParallel.toInt() ? 1 : 0);
        QCOMPARE(log.count(QStringLiteral("Warning: Stored download setting .* ignored: .*")), ignored);
        store.sync();
        QCOMPARE(store.contains(TDownloadPreferences::RateKey),
                 storedRate.isValid() && rate == storedRate.toLongLong());
        QCOMPARE(store.contains(TDownloadPreferences::ParallelDownloadsKey),
                 storedParallel.isValid() && parallel == storedParallel.toInt());
        store.remove(QStringLiteral("downloads"));
    }

    void downloadChoiceIsClampedStoredAndAnnouncedOnce()
    {
        QSettings().remove(QStringLiteral("downloads"));
        TDownloadPreferences preferences(0, 10);
        QSignalSpy changed(&preferences, &TDownloadPreferences::changed);

        // {rate set, count set, effective rate, effective count, changed() so far}
        const qint64 steps[][5] = {
            {-5, 10, 0, 10, 0},
            {1000000, 10, 1000000, 10, 1},
            {1000000, 10, 1000000, 10, 1},
            {1000000, 100, 1000000, 16, 2},
            {1000000, 0, 1000000, 1, 3},
            {qint64(1) << 50, 1, TDownloadPreferences::MaxRateBytesPerSecond, 1, 4},
        };
        for (const auto& step : steps) {
            preferences.setMaxDownloadRate(step[0]);
            preferences.setMaxConcurrentDownloads(static_cast<int>(step[1]));
            QCOMPARE(preferences.maxDownloadRate(), step[2]);
            QCOMPARE(preferences.maxConcurrentDownloads(), int(step[3]));
            QCOMPARE(changed.count(), int(step[4]));
        }
        // The choice outlives the process; a reset forgets it.
        QCOMPARE(TDownloadPreferences(0, 10).maxConcurrentDownloads(), 1);
        preferences.resetToDefaults();
        preferences.resetToDefaults();
        QCOMPARE(changed.count(), 5);
        QCOMPARE(preferences.maxDownloadRate(), qint64(0));
        QCOMPARE(preferences.maxConcurrentDownloads(), 10);
        QVERIFY(!QSettings().contains(TDownloadPreferences::RateKey));
        QCOMPARE(TDownloadPreferences(0, 10).maxConcurrentDownloads(), 10);
    }

    void pathHelperFilesAndFolders()
    {
        TLauncherFilesystemHelper helper(QStringLiteral(":/settings/launchersettings.ini"));
        const QDir packages = helper.packagesDirectory();
        QVERIFY(packages.exists());
        QCOMPARE(packages.dirName(), QStringLiteral("packages"));

        const QString nested = m_dir.filePath(QStringLiteral("a/b/c/file.bin"));
        helper.writeFileCreatingFolder(nested, "payload");
        QVERIFY(QFile::exists(nested));

        const QString target = m_dir.filePath(QStringLiteral("a/moved.bin"));
        helper.writeFileCreatingFolder(target, "old");
        helper.moveFile(nested, target);
        QVERIFY(!QFile::exists(nested));
        QFile moved(target);
        QVERIFY(moved.open(QIODevice::ReadOnly));
        QCOMPARE(moved.readAll(), QByteArray("payload"));
        moved.close();

        helper.moveFile(m_dir.filePath(QStringLiteral("missing")), target);
        QVERIFY2(QFile::exists(target), "moving a missing file must not remove the target");

        helper.removeFileOrFolder(m_dir.filePath(QStringLiteral("a")));
        QVERIFY(!QFileInfo::exists(m_dir.filePath(QStringLiteral("a"))));
        helper.removeFileOrFolder(m_dir.filePath(QStringLiteral("never-existed")));
        // Links go as links, whether they point to a folder, a file or nowhere; their targets stay.
        QVERIFY(QDir(m_dir.path()).mkpath(QStringLiteral("outside")));
        QVERIFY(!writeFile(QStringLiteral("outside/keep"), "keep").isEmpty());
        for (const QString& target :
             {QStringLiteral("outside"), QStringLiteral("outside/keep"), QStringLiteral("gone")}) {
            const QString link = m_dir.filePath(QStringLiteral("link"));
            QVERIFY(QFile::link(m_dir.filePath(target), link));
            helper.removeFileOrFolder(link);
            QVERIFY(!QFileInfo(link).isSymLink());
            QVERIFY(QFileInfo::exists(m_dir.filePath(QStringLiteral("outside/keep"))));
        }

        QVERIFY(helper.accountGroupFilePath().endsWith(QStringLiteral("/accountgroup.json")));
        QVERIFY(QDir::isAbsolutePath(helper.accountGroupFilePath()));
    }

    void logLineFormat_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QString>("expectedMessagePart");
        QTest::newRow("debug") << int(QtDebugMsg) << QStringLiteral("Debug: hello");
        QTest::newRow("info") << int(QtInfoMsg) << QStringLiteral("Info: hello");
        QTest::newRow("warning") << int(QtWarningMsg) << QStringLiteral("Warning: hello");
        QTest::newRow("critical") << int(QtCriticalMsg) << QStringLiteral("Critical: hello");
        QTest::newRow("unknown type") << 42 << QString();
    }

    void logLineFormat()
    {
        QFETCH(int, type);
        QFETCH(QString, expectedMessagePart);
        const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7));
        const QMessageLogContext noLocation;
        QCOMPARE(
            TLogMessageHandler::formatLine(static_cast<QtMsgType>(type), noLocation, QStringLiteral("hello"), when),
            QStringLiteral("2026-03-04 05:06:07 (:0) ") + expectedMessagePart);

        const QMessageLogContext located("hints.cpp", 42, "parse", "default");
        QCOMPARE(TLogMessageHandler::formatLine(static_cast<QtMsgType>(type), located, QStringLiteral("hello"), when),
                 QStringLiteral("2026-03-04 05:06:07 (hints.cpp:42) ") + expectedMessagePart);
    }

    void logKeepsEachMessageOnOneLine_data()
    {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("expected");
        QTest::newRow("plain text and tab") << QStringLiteral("a\tb \"c\"") << QStringLiteral("a\tb \"c\"");
        QTest::newRow("forged line") << QStringLiteral("file a\n2026-01-01 00:00:00 (:0) Info: forged")
                                     << QStringLiteral("file a\\n2026-01-01 00:00:00 (:0) Info: forged");
        QTest::newRow("carriage return") << QStringLiteral("a\r\nb") << QStringLiteral("a\\r\\nb");
        QTest::newRow("other controls") << QStringLiteral("a\x1b[2Jb\x7f") << QStringLiteral("a\\u001b[2Jb\\u007f");
        QTest::newRow("unicode line separators")
            << QString(QStringLiteral("a") + QChar(0x2028) + QChar(0x85)) << QStringLiteral("a\\u2028\\u0085");
        QTest::newRow("non-ASCII text stays") << QStringLiteral("Grüße") << QStringLiteral("Grüße");
    }

    void logKeepsEachMessageOnOneLine()
    {
        QFETCH(QString, message);
        QFETCH(QString, expected);
        const QDateTime when(QDate(2026, 3, 4), QTime(5, 6, 7));
        QCOMPARE(TLogMessageHandler::formatLine(QtInfoMsg, QMessageLogContext(), message, when),
                 QStringLiteral("2026-03-04 05:06:07 (:0) Info: ") + expected);
    }

    void accountGroupFile_data()
    {
        QTest::addColumn<bool>("exists");
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QString>("expectedKey");
        QTest::addColumn<QString>("expectedWarning");
        QTest::newRow("key") << true << QByteArray(R"({"Key":"group-7"})") << QStringLiteral("group-7") << QString();
        QTest::newRow("missing file") << false << QByteArray() << QString()
                                      << QStringLiteral("AccountGroupSetting Error: KeyNotExists");
        QTest::newRow("empty object") << true << QByteArray("{}") << QString()
                                      << QStringLiteral("AccountGroupSetting Error: Empty");
        QTest::newRow("number key") << true << QByteArray(R"({"Key":7})") << QString()
                                    << QStringLiteral("AccountGroupSetting Error: KeyNoString");
        QTest::newRow("other member") << true << QByteArray(R"({"Other":"x"})") << QString()
                                      << QStringLiteral("AccountGroupSetting Error: KeyNotExists");
    }

    void accountGroupFile()
    {
        QFETCH(bool, exists);
        QFETCH(QByteArray, content);
        QFETCH(QString, expectedKey);
        QFETCH(QString, expectedWarning);
        const QString path = exists ? writeFile(QStringLiteral("accountgroup.json"), content)
                                    : m_dir.filePath(QStringLiteral("absent.json"));
        if (!expectedWarning.isEmpty())
            QTest::ignoreMessage(QtWarningMsg, qPrintable(expectedWarning));
        QCOMPARE(TAccountGroupFile::readKey(path, exists), expectedKey);
    }

    void accountGroupFileBrokenJson()
    {
        const QString broken = writeFile(QStringLiteral("broken.json"), "{\"Key\":");
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^JSON parse error:")));
        QTest::ignoreMessage(QtWarningMsg, "AccountGroupSetting Error: Empty");
        QCOMPARE(TAccountGroupFile::readKey(broken, true), QString());

        const QString array = writeFile(QStringLiteral("array.json"), "[1,2]");
        QTest::ignoreMessage(QtWarningMsg, "JSON file does not contain a valid JSON object.");
        QTest::ignoreMessage(QtWarningMsg, "AccountGroupSetting Error: Empty");
        QCOMPARE(TAccountGroupFile::readKey(array, true), QString());
    }

    void accountGroupFileUnreadable()
    {
        const QString directoryPath = m_dir.filePath(QStringLiteral("is-a-directory"));
        QVERIFY(QDir().mkpath(directoryPath));
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("^Failed to open file:")));
        QTest::ignoreMessage(QtWarningMsg, "AccountGroupSetting Error: KeyNotExists");
        QCOMPARE(TAccountGroupFile::readKey(directoryPath, true), QString());
    }

    void missingTranslationIsNotAnError()
    {
        orvan::shared::TTranslationManager manager;
        QVERIFY(!manager.loadCatalogue(QStringLiteral("launcher.en"), m_dir.path()));
        QVERIFY(manager.hasTranslator());
    }
};

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
