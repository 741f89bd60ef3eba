// Marker files, local package status and the default client package.
#include "configuration/ELocalPackageStatus.h"
#include "configuration/TLauncherConfigurationReader.h"
#include "configuration/TPackage.h"
#include "configuration/TPackageBuild.h"
#include "configuration/TPackageConfigurationReader.h"
#include "configuration/VersionText.h"
#include "installationmanager/TCaseCollisions.h"
#include "installationmanager/TInstallationManager.h"
#include "installationmanager/TInstallationMarkers.h"
#include "installationmanager/TMarkerVersion.h"
#include "installationmanager/TReservedFileNames.h"
#include "settings/TLauncherFilesystemHelper.h"
#include "settings/TLauncherSettings.h"
#include "support/TTemporaryHome.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

using namespace orvan::launcher;

namespace {

QByteArray packageDocument(const QString& version)
{
    return QStringLiteral(R"({"version":"%1","executable":"bin/client","files":[]})").arg(version).toUtf8();
}

QByteArray assetDocument(const QString& version)
{
    return QStringLiteral(R"({"version":%1,"files":[]})").arg(version).toUtf8();
}

QByteArray mainConfiguration(int packageCount, bool withBuilds = true)
{
    QByteArray packages;
    for (int i = 0; i < packageCount; ++i) {
        if (i > 0)
            packages += ',';
        packages +=
            QStringLiteral(R"({"name":"Package %1","directoryname":"pkg%1","builds":%2})")
                .arg(i)
                .arg(withBuilds ? QStringLiteral(R"([{"os":"linux","architecture":"x86_64","url":"p%1.json"}])").arg(i)
                                : QStringLiteral("[]"))
                .toUtf8();
    }
    return "{\"packages\":[" + packages + "]}";
}

/// Records the file operations that change markers, in order, and fails the one named by
/// failing ("<operation> <file name>"). After each step it notes when the watched folder holds
/// neither marker.
class TRecordingFileSystem : public shared::TFileSystemHelper
{
public:
    mutable QStringList steps;
    QString failing;
    QString watchedFolder;

    void writeFile(const QString& path, const QByteArray& data) const override
    {
        step(QStringLiteral("write"), path, [&] { TFileSystemHelper::writeFile(path, data); });
    }
    void writeFileAtomically(const QString& path, const QByteArray& data) const override
    {
        step(QStringLiteral("replace"), path, [&] { TFileSystemHelper::writeFileAtomically(path, data); });
    }
    void renameFile(const QString& from, const QString& to) const override
    {
        step(QStringLiteral("rename %1 to").arg(QFileInfo(from).fileName()), to,
             [&] { TFileSystemHelper::renameFile(from, to); });
    }
    bool removeRegularFile(const QString& path) const override
    {
        bool removed = false;
        step(QStringLiteral("remove"), path, [&] { removed = TFileSystemHelper::removeRegularFile(path); });
        return removed;
    }
    void syncFileSystem(const QString& path) const override
    {
        step(QStringLiteral("sync"), path, [&] { TFileSystemHelper::syncFileSystem(path); });
    }

private:
    void step(const QString& operation, const QString& path, const std::function<void()>& action) const
    {
        const QString name = operation + QLatin1Char(' ') + QFileInfo(path).fileName();
        steps << name;
        if (name == failing)
            throw std::runtime_error("injected failure");
        action();
        const QDir folder(watchedFolder);
        if (!watchedFolder.isEmpty() && !folder.exists(QStringLiteral("package.json")) &&
            !folder.exists(QStringLiteral("partial-package.json")))
            steps << QStringLiteral("NO MARKER");
    }
};

} // namespace

class TestInstallationMarkers : public QObject
{
    Q_OBJECT

private:
    // Saved files of the launcher go to a private home, away from parallel runs of this test.
    testsupport::TTemporaryHome m_home;
    std::shared_ptr<TLauncherFilesystemHelper> m_helper;
    std::unique_ptr<QTemporaryDir> m_data;

    std::shared_ptr<TLauncherConfigurationReader> configuration(int packageCount, bool withBuilds = true)
    {
        return std::make_shared<TLauncherConfigurationReader>(mainConfiguration(packageCount, withBuilds),
                                                              QUrl(QStringLiteral("http://127.0.0.1/")));
    }

    static void offer(const std::shared_ptr<TPackage>& package, const QString& version, const QString& assetsVersion)
    {
        const QByteArray assets = assetsVersion.isEmpty() ? QByteArray() : assetDocument(assetsVersion);
        package->currentBuild()->setConfiguration(std::make_shared<const TPackageConfigurationReader>(
            packageDocument(version), assets, QUrl(QStringLiteral("http://127.0.0.1/")), QUrl()));
    }

    QString packagePath(int index, const QString& name) const
    {
        return m_helper->packagesDirectory().filePath(QStringLiteral("pkg%1/%2").arg(index).arg(name));
    }

    /// The files on reserved names of a package of "ok.txt" and LocalFile, installed as package 0.
    QStringList reservedFiles(const QString& localFile, const TLauncherSettings& settings, ESelfUpdateMode mode) const
    {
        const QByteArray document =
            QStringLiteral(R"({"files":[{"localfile":"ok.txt"},{"localfile":"%1"}]})").arg(localFile).toUtf8();
        const TPackageConfigurationReader offered(document, QByteArray(), QUrl(), QUrl());
        const TReservedFileNames names(settings, m_helper->accountGroupTargetPath(), mode);
        return names.filesOnReservedNames(offered, QDir(packagePath(0, QString())), m_helper->fileSystemHelper());
    }

    void write(const QString& path, const QByteArray& data) { m_helper->writeFileCreatingFolder(path, data); }

    /// The indexes of the packages marked as the default.
    static QList<int> defaults(const TLauncherConfigurationReader& config)
    {
        QList<int> indexes;
        for (int i = 0; i < int(config.packages().size()); ++i) {
            if (config.packages().at(i)->isDefault())
                indexes << i;
        }
        return indexes;
    }

    static QByteArray read(const QString& path)
    {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(QStringLiteral("Brelmor GmbH"));
        QCoreApplication::setApplicationName(QStringLiteral("Quenmar Online Marker Test"));
        m_helper = std::make_shared<TLauncherFilesystemHelper>(QStringLiteral(":/settings/launchersettings.ini"));
    }

    void init() { QDir(QStandardPaths::writableLocation(QStandardPaths::AppDataLocation)).removeRecursively(); }

    void statusTable_data()
    {
        QTest::addColumn<QString>("installedVersion");
        QTest::addColumn<QString>("installedAssets");
        QTest::addColumn<bool>("full");
        QTest::addColumn<bool>("partial");
        QTest::addColumn<QString>("offeredAssets");
        QTest::addColumn<int>("status");
        QTest::newRow("nothing") << ""
                                 << "" << false << false << "2" << int(ELocalPackageStatus::NotInstalled);
        QTest::newRow("partial only") << "1.0"
                                      << "2" << false << true << "2" << int(ELocalPackageStatus::PartiallyInstalled);
        QTest::newRow("full, same version") << "1.0"
                                            << "2" << true << false << "2" << int(ELocalPackageStatus::Installed);
        QTest::newRow("both markers count as full")
            << "1.0"
            << "2" << true << true << "2" << int(ELocalPackageStatus::Installed);
        QTest::newRow("full, other version") << "0.9"
                                             << "2" << true << false << "2" << int(ELocalPackageStatus::UpdateRequired);
        QTest::newRow("assets version 1 forces update")
            << "1.0"
            << "1" << true << false << "1" << int(ELocalPackageStatus::UpdateRequired);
        QTest::newRow("no asset documents") << "1.0"
                                            << "" << true << false << "" << int(ELocalPackageStatus::Installed);
        QTest::newRow("broken marker") << "{"
                                       << "" << true << false << "" << int(ELocalPackageStatus::UpdateRequired);
    }

    void statusTable()
    {
        QFETCH(QString, installedVersion);
        QFETCH(QString, installedAssets);
        QFETCH(bool, full);
        QFETCH(bool, partial);
        QFETCH(QString, offeredAssets);
        QFETCH(int, status);

        auto config = configuration(1);
        offer(config->packages().at(0), QStringLiteral("1.0"), offeredAssets);
        const QByteArray document =
            installedVersion == QLatin1String("{") ? QByteArray("{") : packageDocument(installedVersion);
        if (full)
            write(packagePath(0, QStringLiteral("package.json")), document);
        if (partial)
            write(packagePath(0, QStringLiteral("partial-package.json")), document);
        if (!installedAssets.isEmpty())
            write(packagePath(0, QStringLiteral("assets.json")), assetDocument(installedAssets));

        QSignalSpy changed(config->packages().at(0).get(), &TPackage::localPackageStatusChanged);
        TInstallationMarkers(m_helper).loadStatuses(config->packages());
        QCOMPARE(int(config->packages().at(0)->localPackageStatus()), status);
        QCOMPARE(changed.count(), 1);
    }

    void markerVersionReadsAsTheFullReader_data()
    {
        QTest::addColumn<QByteArray>("package");
        QTest::addColumn<QByteArray>("asset");
        QTest::newRow("plain") << packageDocument(QStringLiteral("1.0")) << assetDocument(QStringLiteral("7"));
        QTest::newRow("no asset document") << packageDocument(QStringLiteral("1.0")) << QByteArray();
        QTest::newRow("fractional asset number")
            << packageDocument(QStringLiteral("1.0")) << QByteArray(R"({"version":2.7})");
        QTest::newRow("textual asset version")
            << packageDocument(QStringLiteral("1.0")) << QByteArray(R"({"version":"x"})");
        QTest::newRow("numeric package version") << QByteArray(R"({"version":3})") << QByteArray();
        QTest::newRow("package document is an array") << QByteArray(R"([{"version":"1.0"}])") << QByteArray();
        QTest::newRow("asset document is an array") << packageDocument(QStringLiteral("1.0")) << QByteArray("[7]");
        QTest::newRow("broken package document") << QByteArray("{") << assetDocument(QStringLiteral("7"));
        QTest::newRow("broken asset document") << packageDocument(QStringLiteral("1.0")) << QByteArray("{");
    }

    void markerVersionReadsAsTheFullReader()
    {
        QFETCH(QByteArray, package);
        QFETCH(QByteArray, asset);
        const QUrl base(QStringLiteral("file:///installed"));
        QCOMPARE(TMarkerVersion::versionText(package, asset),
                 versionText(TPackageConfigurationReader(package, asset, base, base)));
    }

    void packageWithoutBuildIsNotInstalledEvenWithMarker()
    {
        auto config = configuration(1, false);
        write(packagePath(0, QStringLiteral("package.json")), packageDocument(QStringLiteral("1.0")));
        TInstallationMarkers(m_helper).loadStatuses(config->packages());
        QCOMPARE(config->packages().at(0)->localPackageStatus(), ELocalPackageStatus::NotInstalled);
    }

    void markerLifecycleOfAnUpdate()
    {
        auto config = configuration(1);
        const auto package = config->packages().at(0);
        offer(package, QStringLiteral("2.0"), QStringLiteral("5"));
        const QByteArray installed = packageDocument(QStringLiteral("1.0"));
        write(packagePath(0, QStringLiteral("package.json")), installed);
        const TInstallationMarkers markers(m_helper);
        markers.loadStatuses(config->packages());
        QCOMPARE(package->localPackageStatus(), ELocalPackageStatus::UpdateRequired);
        const QDir directory = markers.packageDirectory(package);
        QVERIFY(markers.readInstalledDocuments(directory).full);

        const auto offered = package->currentConfiguration();
        markers.markPackageAsPartiallyInstalled(package, offered->packageDocument(), offered->assetDocument());
        QVERIFY(!QFile::exists(packagePath(0, QStringLiteral("package.json"))));
        QCOMPARE(read(packagePath(0, QStringLiteral("partial-package.json"))), installed);
        QCOMPARE(read(packagePath(0, QStringLiteral("assets.json"))), offered->assetDocument());
        QCOMPARE(package->localPackageStatus(), ELocalPackageStatus::PartiallyInstalled);
        QCOMPARE(versionText(markers.readPackageConfigurationFromInstallationDirectory(directory)),
                 QStringLiteral("P1.0 A5"));
        const TInstallationMarkers::TInstalledDocuments partial = markers.readInstalledDocuments(directory);
        QVERIFY(partial.present && !partial.full);
        QCOMPARE(versionText(partial.parse()), QStringLiteral("P1.0 A5"));

        markers.updatePartiallyInstalledPackage(package);
        QCOMPARE(read(packagePath(0, QStringLiteral("partial-package.json"))), offered->packageDocument());

        markers.markPackageAsFullyInstalled(package);
        QVERIFY(!QFile::exists(packagePath(0, QStringLiteral("partial-package.json"))));
        QCOMPARE(read(packagePath(0, QStringLiteral("package.json"))), offered->packageDocument());
        QCOMPARE(package->localPackageStatus(), ELocalPackageStatus::Installed);
        QCOMPARE(markers.determineLocalPackageStatus(package), ELocalPackageStatus::Installed);
    }

    void partialMarkerOfAnInterruptedRunIsKept()
    {
        auto config = configuration(1);
        const auto package = config->packages().at(0);
        offer(package, QStringLiteral("2.0"), QString());
        const QByteArray left = packageDocument(QStringLiteral("1.5"));
        write(packagePath(0, QStringLiteral("partial-package.json")), left);
        write(packagePath(0, QStringLiteral("assets.json")), "kept");
        const TInstallationMarkers markers(m_helper);
        markers.markPackageAsPartiallyInstalled(package, package->currentConfiguration()->packageDocument(),
                                                QByteArray());
        QCOMPARE(read(packagePath(0, QStringLiteral("partial-package.json"))), left);
        QCOMPARE(read(packagePath(0, QStringLiteral("assets.json"))), QByteArray("kept"));
        markers.markPackageAsFullyInstalled(package);
        QCOMPARE(read(packagePath(0, QStringLiteral("assets.json"))), QByteArray("kept"));
    }

    void firstPackageHoldingDefaultWins()
    {
        auto config = configuration(3);
        for (int i = 0; i < 3; ++i) {
            offer(config->packages().at(i), QStringLiteral("1.0"), QString());
            write(packagePath(i, QStringLiteral("package.json")), packageDocument(QStringLiteral("1.0")));
        }
        write(packagePath(1, QStringLiteral("default")), QByteArray());
        write(packagePath(2, QStringLiteral("default")), QByteArray());
        TInstallationManager manager(config, m_helper);
        QVERIFY(!config->packages().at(0)->isDefault());
        QVERIFY(config->packages().at(1)->isDefault());
        QVERIFY(!config->packages().at(2)->isDefault());
        QCOMPARE(manager.defaultPackage(), config->packages().at(1));

        manager.setDefaultPackage(config->packages().at(0));
        QVERIFY(QFile::exists(packagePath(0, QStringLiteral("default"))));
        QVERIFY(!QFile::exists(packagePath(1, QStringLiteral("default"))));
        QVERIFY(!QFile::exists(packagePath(2, QStringLiteral("default"))));
        QCOMPARE(manager.defaultPackage(), config->packages().at(0));

        manager.setDefaultPackage(nullptr);
        QVERIFY(!manager.defaultPackage());
        for (int i = 0; i < 3; ++i) {
            QVERIFY(!config->packages().at(i)->isDefault());
            QVERIFY(!QFile::exists(packagePath(i, QStringLiteral("default"))));
        }
    }

    void defaultFileOfUninstalledPackageIsIgnored()
    {
        auto config = configuration(1);
        offer(config->packages().at(0), QStringLiteral("1.0"), QString());
        write(packagePath(0, QStringLiteral("default")), QByteArray());
        TInstallationMarkers(m_helper).loadStatuses(config->packages());
        QCOMPARE(defaults(*config), QList<int>());
    }

    void markerStepsAreDurableAndOrdered()
    {
        auto config = configuration(1);
        const auto package = config->packages().at(0);
        offer(package, QStringLiteral("1.0"), QStringLiteral("2"));
        const auto offered = package->currentConfiguration();
        auto recorder = std::make_shared<TRecordingFileSystem>();
        recorder->watchedFolder = packagePath(0, QString());
        auto helper =
            std::make_shared<TLauncherFilesystemHelper>(QStringLiteral(":/settings/launchersettings.ini"), recorder);
        const TInstallationMarkers markers(helper);

        for (int run = 0; run < 2; ++run) {
            markers.markPackageAsPartiallyInstalled(package, offered->packageDocument(), offered->assetDocument());
            markers.updatePartiallyInstalledPackage(package);
            markers.markPackageAsFullyInstalled(package);
        }
        const QStringList finish{"sync pkg0", "replace assets.json", "replace package.json",
                                 "remove partial-package.json"};
        QCOMPARE(recorder->steps, QStringList({"replace partial-package.json", "replace assets.json",
                                               "replace partial-package.json", "replace assets.json"}) +
                                      finish +
                                      QStringList({"rename package.json to partial-package.json", "replace assets.json",
                                                   "replace partial-package.json", "replace assets.json"}) +
                                      finish);
        QCOMPARE(read(packagePath(0, QStringLiteral("package.json"))), offered->packageDocument());
    }

    void failedFinishNeverCountsAsInstalled_data()
    {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<int>("nextStartStatus");
        QTest::newRow("sync") << "sync pkg0" << int(ELocalPackageStatus::PartiallyInstalled);
        QTest::newRow("full marker") << "replace package.json" << int(ELocalPackageStatus::PartiallyInstalled);
        // The full marker is complete by then; the leftover partial one does not count.
        QTest::newRow("partial removal") << "remove partial-package.json" << int(ELocalPackageStatus::Installed);
    }

    void failedFinishNeverCountsAsInstalled()
    {
        QFETCH(QString, failing);
        QFETCH(int, nextStartStatus);
        auto config = configuration(1);
        const auto package = config->packages().at(0);
        offer(package, QStringLiteral("1.0"), QString());
        auto recorder = std::make_shared<TRecordingFileSystem>();
        recorder->failing = failing;
        const TInstallationMarkers markers(
            std::make_shared<TLauncherFilesystemHelper>(QStringLiteral(":/settings/launchersettings.ini"), recorder));
        markers.markPackageAsPartiallyInstalled(package, package->currentConfiguration()->packageDocument(), {});
        markers.updatePartiallyInstalledPackage(package);
        QVERIFY_EXCEPTION_THROWN(markers.markPackageAsFullyInstalled(package), std::runtime_error);

        auto nextStart = configuration(1);
        offer(nextStart->packages().at(0), QStringLiteral("1.0"), QString());
        TInstallationMarkers(m_helper).loadStatuses(nextStart->packages());
        QCOMPARE(int(nextStart->packages().at(0)->localPackageStatus()), nextStartStatus);
    }

    void reservedFileNames_data()
    {
        QTest::addColumn<QString>("localFile");
        QTest::addColumn<bool>("reserved");
        QTest::newRow("full marker") << "package.json" << true;
        QTest::newRow("partial marker") << "partial-package.json" << true;
        QTest::newRow("asset document") << "assets.json" << true;
        QTest::newRow("default marker") << "default" << true;
        QTest::newRow("below default") << "default/textures.pak" << true;
        QTest::newRow("force patch") << "FORCE_PATCH" << true;
        QTest::newRow("account group target") << "QuenmarOnlineClient_Data/Data/Settings/accountgroup.json" << true;
        QTest::newRow("spelled differently") << "./bin/../package.json" << true;
        QTest::newRow("below a marker") << "assets.json/x" << true;
        QTest::newRow("similar name") << "package.json.bak" << false;
        QTest::newRow("similar folder") << "defaults/x" << false;
        QTest::newRow("other case") << "Default" << false;
        QTest::newRow("next to the account group") << "QuenmarOnlineClient_Data/Data/Settings/client.cfg" << false;
        QTest::newRow("marker name in a subfolder") << "bin/package.json" << false;
    }

    void reservedFileNames()
    {
        QFETCH(QString, localFile);
        QFETCH(bool, reserved);
        QCOMPARE(reservedFiles(localFile, *m_helper->settings(), ESelfUpdateMode::Off),
                 reserved ? QStringList{localFile} : QStringList());
    }

    void temporaryNamesOfTheLauncherAreReserved_data()
    {
        QTest::addColumn<QString>("localFile");
        QTest::addColumn<QString>("mode");
        QTest::addColumn<bool>("reserved");
        QTest::newRow("held chunk copy") << ".pending-chunk-a1B2c3" << QString() << true;
        QTest::newRow("scratch file") << ".scratch-a1B2c3" << QString() << true;
        QTest::newRow("case probe") << ".case-probe-a1B2c3" << QString() << true;
        QTest::newRow("temporary name in a subfolder") << "bin/.pending-chunk-a1B2c3" << QString() << false;
        QTest::newRow("swap journal") << "selfupdate.journal" << QString() << true;
        QTest::newRow("retired list") << "selfupdate.retired" << QString() << true;
        QTest::newRow("new version beside a file") << "ok.txt.new"
                                                   << "self-update" << true;
        QTest::newRow("backup beside a file") << "ok.txt.old"
                                              << "self-update" << true;
        QTest::newRow("new version without its file") << "other.txt.new"
                                                      << "self-update" << false;
        QTest::newRow("new version outside a self-update") << "ok.txt.new" << QString() << false;
        QTest::newRow("write log beside a file") << "ok.txt.log"
                                                 << "chunk verification" << true;
        QTest::newRow("write log without chunk verification") << "ok.txt.log" << QString() << false;
    }

    void temporaryNamesOfTheLauncherAreReserved()
    {
        QFETCH(QString, localFile);
        QFETCH(QString, mode);
        QFETCH(bool, reserved);
        TLauncherSettings settings = *m_helper->settings();
        settings.chunkVerification = mode == QLatin1String("chunk verification");
        const ESelfUpdateMode selfUpdate =
            mode == QLatin1String("self-update") ? ESelfUpdateMode::Launcher : ESelfUpdateMode::Off;
        QCOMPARE(reservedFiles(localFile, settings, selfUpdate), reserved ? QStringList{localFile} : QStringList());
    }

    void namesDifferingOnlyInCaseCollideWhereCaseIsIgnored_data()
    {
        QTest::addColumn<QStringList>("localFiles");
        QTest::addColumn<bool>("ignoresCase");
        QTest::addColumn<QStringList>("colliding");
        QTest::addColumn<bool>("probed");
        const QStringList mixed{"data/Map.pak", "data/other.pak", "DATA/map.pak"};
        QTest::newRow("file system ignores case")
            << mixed << true << QStringList{"DATA/map.pak", "data/Map.pak"} << true;
        QTest::newRow("file system tells case apart") << mixed << false << QStringList() << true;
        QTest::newRow("spelled alike after confinement")
            << QStringList{"./Readme", "bin/../readme"} << true << QStringList{"./Readme", "bin/../readme"} << true;
        QTest::newRow("one spelling listed twice") << QStringList{"a.pak", "a.pak"} << true << QStringList() << false;
        QTest::newRow("no two names alike") << QStringList{"a.pak", "b.pak"} << true << QStringList() << false;
    }

    // Only packages with such names ask the file system; ext4 installs them as it always did.
    void namesDifferingOnlyInCaseCollideWhereCaseIsIgnored()
    {
        QFETCH(QStringList, localFiles);
        QFETCH(bool, ignoresCase);
        QFETCH(QStringList, colliding);
        QFETCH(bool, probed);
        QJsonArray files;
        for (const QString& localFile : localFiles)
            files.append(QJsonObject{{QStringLiteral("localfile"), localFile}});
        const QByteArray document = QJsonDocument(QJsonObject{{QStringLiteral("files"), files}}).toJson();
        const TPackageConfigurationReader offered(document, QByteArray(), QUrl(), QUrl());
        // Not created yet: the probe asks the nearest existing folder.
        const QDir directory(packagePath(0, QString()));
        QStringList asked;
        TCaseCollisions collisions;
        collisions.setCaseProbe([&](const QString& folder) {
            asked << folder;
            return ignoresCase;
        });
        QCOMPARE(collisions.collidingFiles(offered, directory, m_helper->fileSystemHelper()), colliding);
        QCOMPARE(asked.size(), probed ? 1 : 0);
        if (probed)
            QVERIFY(QFileInfo(asked.first()).isDir());
        // This machine's file systems tell case apart, and the probe leaves nothing behind.
        const QString packages = m_helper->packagesDirectory().absolutePath();
        const QStringList before = QDir(packages).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot);
        QVERIFY(!TCaseCollisions::ignoresCase(packages));
        QCOMPARE(QDir(packages).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot), before);
    }

    void folderNamedDefaultIsNotTheLaunchers()
    {
        auto config = configuration(2);
        for (int i = 0; i < 2; ++i) {
            offer(config->packages().at(i), QStringLiteral("1.0"), QString());
            write(packagePath(i, QStringLiteral("package.json")), packageDocument(QStringLiteral("1.0")));
        }
        write(packagePath(0, QStringLiteral("default/user.cfg")), "user data");
        const TInstallationMarkers markers(m_helper);
        markers.loadStatuses(config->packages());
        QCOMPARE(defaults(*config), QList<int>());

        markers.setDefaultPackage(config->packages(), config->packages().at(1));
        markers.setDefaultPackage(config->packages(), nullptr);
        QCOMPARE(read(packagePath(0, QStringLiteral("default/user.cfg"))), QByteArray("user data"));
        // Chosen as the default, the package is remembered for this run only.
        markers.setDefaultPackage(config->packages(), config->packages().at(0));
        QCOMPARE(defaults(*config), QList<int>{0});
        QCOMPARE(read(packagePath(0, QStringLiteral("default/user.cfg"))), QByteArray("user data"));
    }

    void clientExecutableAndConfinement()
    {
        auto config = configuration(1);
        const auto package = config->packages().at(0);
        TInstallationManager manager(config, m_helper);
        QVERIFY(manager.clientExecutablePath(package).isEmpty());
        offer(package, QStringLiteral("1.0"), QString());
        QCOMPARE(manager.clientExecutablePath(package), packagePath(0, QStringLiteral("bin/client")));
    }

    void accountGroupCopyDoesNotReplace()
    {
        auto config = configuration(1);
        const auto package = config->packages().at(0);
        offer(package, QStringLiteral("1.0"), QString());
        TInstallationManager manager(config, m_helper);
        manager.copyAccountGroupFile(package);
        const QString target =
            packagePath(0, QStringLiteral("QuenmarOnlineClient_Data/Data/Settings/accountgroup.json"));
        QVERIFY(!QFile::exists(target));

        write(m_helper->accountGroupFilePath(), R"({"Key":"a"})");
        write(target, "existing");
        manager.copyAccountGroupFile(package);
        QCOMPARE(read(target), QByteArray("existing"));
        QFile::remove(target);
        manager.copyAccountGroupFile(package);
        QCOMPARE(read(target), QByteArray(R"({"Key":"a"})"));
    }
};

QTEST_GUILESS_MAIN(TestInstallationMarkers)
#include "tst_installationmarkers.moc"
