#include "support/TestPackageFactory.h"

#include "configuration/TPackage.h"
#include "installation/TPackageInstallation.h"
#include "packageitem/ProgressText.h"
#include "packageitem/TClientPackageLayoutItem.h"
#include "settings/TLauncherFilesystemHelper.h"
#include "widgets/QContextPushButton.h"
#include "widgets/TIconButton.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QSignalSpy>
#include <QTest>
#include <QWidget>

#include <memory>

using namespace orvan::launcher;
using testsupport::makeTestPackage;
using testsupport::TTestPackageTraits;

Q_DECLARE_METATYPE(ELocalPackageStatus)

namespace {

/// An item inside a shown host widget, as the window holds it.
struct THostedItem
{
    explicit THostedItem(const TTestPackageTraits& traits, bool showName = false)
        : package(makeTestPackage(traits)), item(new TClientPackageLayoutItem(package, showName))
    {
        host.setLayout(item);
        host.show();
    }

    std::shared_ptr<TPackage> package;
    QWidget host;
    TClientPackageLayoutItem* item;
};

TTestPackageTraits withStatus(ELocalPackageStatus status)
{
    TTestPackageTraits traits;
    traits.status = status;
    return traits;
}

QStringList menuEntries(const TClientPackageLayoutItem& item)
{
    QStringList entries;
    for (const QAction* action : item.actionButton()->contextMenu()->actions()) {
        entries << action->text();
    }
    return entries;
}

} // namespace

/// The package item: how the package's state looks and how installation progress is shown.
class TPackageItemTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void buttonFollowsStatus_data();
    void buttonFollowsStatus();
    void statusChangeRefreshesTheIdleView();
    void logoFollowsVariantAndLink_data();
    void logoFollowsVariantAndLink();
    void versionAndNameLines();
    void clicksBecomeSignals();
    void contextMenuOnlyForInstalledPackages();
    void defaultCheckBoxReportsCheckedAndUnchecked();
    void phaseProgress_data();
    void phaseProgress();
    void downloadProgress_data();
    void downloadProgress();
    void speedFromRateStatistics();
    void followsAnInstallationUntilItFinishes();
    void pauseAndResumeFromTheProgressArea();

private:
    std::shared_ptr<TLauncherFilesystemHelper> m_helper;
};

void TPackageItemTest::initTestCase()
{
    m_helper = std::make_shared<TLauncherFilesystemHelper>(QStringLiteral(":/settings/launchersettings.ini"));
}

void TPackageItemTest::buttonFollowsStatus_data()
{
    QTest::addColumn<ELocalPackageStatus>("status");
    QTest::addColumn<QString>("colour");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<QStringList>("menu");
    QTest::addColumn<bool>("installed");

    QTest::newRow("unknown") << ELocalPackageStatus::Unknown << "Red"
                             << "" << QStringList() << false;
    QTest::newRow("not installed") << ELocalPackageStatus::NotInstalled << "Blue"
                                   << "Download" << QStringList() << false;
    QTest::newRow("partially installed") << ELocalPackageStatus::PartiallyInstalled << "Orange"
                                         << "Update" << QStringList() << false;
    QTest::newRow("update required") << ELocalPackageStatus::UpdateRequired << "Orange"
                                     << "Update" << QStringList() << false;
    QTest::newRow("installed") << ELocalPackageStatus::Installed << "Green"
                               << "Play" << QStringList{"Verify"} << true;
}

void TPackageItemTest::buttonFollowsStatus()
{
    QFETCH(ELocalPackageStatus, status);
    QFETCH(QString, colour);
    QFETCH(QString, caption);
    QFETCH(QStringList, menu);
    QFETCH(bool, installed);

    THostedItem hosted(withStatus(status));
    const TClientPackageLayoutItem& item = *hosted.item;
    QCOMPARE(item.buttonColour(), colour);
    QCOMPARE(item.actionButton()->toolTip(), caption);
    QVERIFY(item.actionButton()->text().isEmpty());
    QCOMPARE(item.actionButton()->size(), QSize(98, 40));
    const QString style = item.actionButton()->styleSheet();
    for (const char* state : {"idle", "hover", "pressed"}) {
        QVERIFY2(style.contains(QStringLiteral(":/images/launcher/Button_%1_%2.png").arg(colour, state)), state);
    }
    QVERIFY(style.contains(QStringLiteral(":/images/launcher/Icon_%1.png").arg(caption)));
    QCOMPARE(menuEntries(item), menu);
    QCOMPARE(item.defaultClientCheckBox()->isVisible(), installed);
    QCOMPARE(item.logoImagePath().endsWith(QLatin1String("_disabled.png")), !installed);
    QVERIFY(item.actionButton()->isVisible());
    QVERIFY(!item.progressBar()->isVisible());
}

void TPackageItemTest::statusChangeRefreshesTheIdleView()
{
    THostedItem hosted(withStatus(ELocalPackageStatus::UpdateRequired));
    TClientPackageLayoutItem& item = *hosted.item;
    QVERIFY(!item.defaultClientCheckBox()->isVisible());
    // The hidden check box keeps its room, so the frame does not jump when it appears.
    const QSize frameBefore = item.frame()->sizeHint();

    hosted.package->setLocalPackageStatus(ELocalPackageStatus::Installed);
    QCOMPARE(item.buttonColour(), QStringLiteral("Green"));
    QCOMPARE(item.actionButton()->toolTip(), QStringLiteral("Play"));
    QCOMPARE(menuEntries(item), QStringList{"Verify"});
    QVERIFY(item.defaultClientCheckBox()->isVisible());
    QCOMPARE(item.logoImagePath(), QStringLiteral(":/images/launcher/QuenmarLogo_QT.png"));
    QVERIFY(item.logoLabel()->styleSheet().contains(QLatin1String("QuenmarLogo_QT.png")));
    QCOMPARE(item.frame()->sizeHint(), frameBefore);

    hosted.package->setLocalPackageStatus(ELocalPackageStatus::PartiallyInstalled);
    QCOMPARE(item.buttonColour(), QStringLiteral("Orange"));
    QVERIFY(menuEntries(item).isEmpty());
    QVERIFY(!item.defaultClientCheckBox()->isVisible());
}

void TPackageItemTest::logoFollowsVariantAndLink_data()
{
    QTest::addColumn<QString>("generation");
    QTest::addColumn<QString>("variant");
    QTest::addColumn<QString>("logoLink");
    QTest::addColumn<QString>("image");

    QTest::newRow("regular") << "second"
                             << "regular"
                             << ""
                             << "QuenmarLogo_QT";
    QTest::newRow("first generation wins over variant") << "first"
                                                        << "beta"
                                                        << ""
                                                        << "QuenmarLogo_Classic";
    QTest::newRow("preview") << "second"
                             << "preview"
                             << ""
                             << "QuenmarLogo_Preview";
    QTest::newRow("beta") << "second"
                          << "beta"
                          << ""
                          << "QuenmarLogo_Beta";
    QTest::newRow("test") << "second"
                          << "test"
                          << ""
                          << "QuenmarLogo_Test";
    QTest::newRow("unknown variant") << ""
                                     << "nightly"
                                     << ""
                                     << "QuenmarLogo_QT";
    QTest::newRow("linked logo") << "second"
                                 << "beta"
                                 << "https://www.brelmor.de/beta"
                                 << "QuenmarLogo_Beta";
}

void TPackageItemTest::logoFollowsVariantAndLink()
{
    QFETCH(QString, generation);
    QFETCH(QString, variant);
    QFETCH(QString, logoLink);
    QFETCH(QString, image);

    TTestPackageTraits traits = withStatus(ELocalPackageStatus::Installed);
    traits.generation = generation;
    traits.variant = variant;
    traits.logoLinkTarget = logoLink;
    traits.name = QStringLiteral("Quenmar Beta");
    THostedItem hosted(traits);
    const QLabel* logo = hosted.item->logoLabel();
    const QString path = QStringLiteral(":/images/launcher/") + image + QStringLiteral(".png");

    QCOMPARE(hosted.item->logoImagePath(), path);
    QCOMPARE(logo->size(), QSize(176, 176));
    QCOMPARE(logo->toolTip(), traits.name);
    if (logoLink.isEmpty()) {
        QCOMPARE(logo->styleSheet(), QStringLiteral("QLabel { image: url(%1); }").arg(path));
        QVERIFY(logo->text().isEmpty());
    } else {
        QCOMPARE(logo->text(), QStringLiteral("<a href=\"%1\"><img src=\"%2\"></a>").arg(logoLink, path));
        QVERIFY(logo->openExternalLinks());
    }
}

void TPackageItemTest::versionAndNameLines()
{
    TTestPackageTraits traits;
    traits.version = QString();
    THostedItem withoutName(traits);
    QVERIFY(!withoutName.item->nameLabel());
    QCOMPARE(withoutName.item->statusLabel()->text(), QStringLiteral("?"));

    traits.version = QStringLiteral("2.15.0-rc1");
    THostedItem withName(traits, true);
    QVERIFY(withName.item->nameLabel());
    QCOMPARE(withName.item->nameLabel()->text(), traits.name);
    QCOMPARE(withName.item->statusLabel()->text(), traits.version);
}

void TPackageItemTest::clicksBecomeSignals()
{
    THostedItem hosted(withStatus(ELocalPackageStatus::NotInstalled));
    QSignalSpy clicked(hosted.item, &TClientPackageLayoutItem::buttonClicked);
    QTest::mouseClick(hosted.item->actionButton(), Qt::LeftButton);
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.at(0).at(0).value<std::shared_ptr<TPackage>>(), hosted.package);
}

void TPackageItemTest::contextMenuOnlyForInstalledPackages()
{
    THostedItem update(withStatus(ELocalPackageStatus::UpdateRequired));
    QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), update.item->actionButton()->mapToGlobal({5, 5}));
    QApplication::sendEvent(update.item->actionButton(), &event);
    QVERIFY(!QApplication::activePopupWidget());

    THostedItem installed(withStatus(ELocalPackageStatus::Installed));
    QSignalSpy verify(installed.item, &TClientPackageLayoutItem::verifyButtonClicked);
    QSignalSpy clicked(installed.item, &TClientPackageLayoutItem::buttonClicked);
    QMenu* menu = installed.item->actionButton()->contextMenu();
    QCOMPARE(menu->actions().size(), 1);
    menu->actions().first()->trigger();
    QCOMPARE(verify.count(), 1);
    QCOMPARE(verify.at(0).at(0).value<std::shared_ptr<TPackage>>(), installed.package);
    QCOMPARE(clicked.count(), 0);
}

void TPackageItemTest::defaultCheckBoxReportsCheckedAndUnchecked()
{
    THostedItem hosted(withStatus(ELocalPackageStatus::Installed));
    QCheckBox* box = hosted.item->defaultClientCheckBox();
    QCOMPARE(box->text(), QStringLiteral("Default Client"));
    QSignalSpy changed(hosted.item, &TClientPackageLayoutItem::defaultChanged);

    box->setChecked(true);
    box->setChecked(false);
    box->setTristate(true);
    box->setCheckState(Qt::PartiallyChecked);

    QCOMPARE(changed.count(), 2);
    QCOMPARE(changed.at(0).at(1).toBool(), true);
    QCOMPARE(changed.at(1).at(1).toBool(), false);
    QCOMPARE(changed.at(0).at(0).value<std::shared_ptr<TPackage>>(), hosted.package);
}

void TPackageItemTest::phaseProgress_data()
{
    QTest::addColumn<int>("phase");
    QTest::addColumn<TFileSize>("done");
    QTest::addColumn<TFileSize>("total");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("status");

    QTest::newRow("scan, 512 MiB of 1 GiB")
        << 0 << TFileSize(536870912) << TFileSize(1073741824) << 5000 << "Scanning..."
        << "536.9/1073.7 MB";
    QTest::newRow("scan, 512 MB of 1 GB") << 0 << TFileSize(512000000) << TFileSize(1000000000) << 5120 << "Scanning..."
                                          << "512.0/1000.0 MB";
    QTest::newRow("write, three eighths") << 1 << TFileSize(375) << TFileSize(1000) << 3750 << "Writing..."
                                          << "0.0/0.0 MB";
    QTest::newRow("verify, done") << 2 << TFileSize(1500000) << TFileSize(1500000) << 10000 << "Verifying..."
                                  << "1.5/1.5 MB";
    QTest::newRow("rounds half up") << 2 << TFileSize(99995) << TFileSize(100000) << 10000 << "Verifying..."
                                    << "0.1/0.1 MB";
    QTest::newRow("empty total") << 0 << TFileSize(0) << TFileSize(0) << 0 << "Scanning..."
                                 << "0.0/0.0 MB";
    QTest::newRow("beyond total") << 0 << TFileSize(7) << TFileSize(5) << 10000 << "Scanning..."
                                  << "0.0/0.0 MB";
}

void TPackageItemTest::phaseProgress()
{
    QFETCH(int, phase);
    QFETCH(TFileSize, done);
    QFETCH(TFileSize, total);
    QFETCH(int, value);
    QFETCH(QString, format);
    QFETCH(QString, status);

    THostedItem hosted(withStatus(ELocalPackageStatus::UpdateRequired));
    TClientPackageLayoutItem& item = *hosted.item;
    if (phase == 0) {
        item.onScanProgress(done, total);
    } else if (phase == 1) {
        item.onWriteProgress(done, total);
    } else {
        item.onVerificationProgress(done, total);
    }
    QCOMPARE(item.progressBar()->maximum(), 10000);
    QCOMPARE(item.progressBar()->value(), value);
    QCOMPARE(item.progressBar()->format(), format);
    QCOMPARE(item.progressBar()->text(), format);
    QCOMPARE(item.statusLabel()->text(), status);
}

void TPackageItemTest::downloadProgress_data()
{
    QTest::addColumn<QList<TFileSize>>("counts");
    QTest::addColumn<double>("speed");
    QTest::addColumn<int>("value");
    QTest::addColumn<QString>("format");
    QTest::addColumn<QString>("status");

    const QList<TFileSize> quarter{250000000, 1000000000, 0, 1200000000};
    QTest::newRow("idle connection") << quarter << 0.0 << 2500 << "0 B/s"
                                     << "250.0/1000.0 MB";
    QTest::newRow("1024 B/s stays in bytes") << quarter << 1024.0 << 2500 << "1024 B/s"
                                             << "250.0/1000.0 MB";
    QTest::newRow("1025 B/s is 1.0 KB/s") << quarter << 1025.0 << 2500 << "1.0 KB/s"
                                          << "250.0/1000.0 MB";
    QTest::newRow("1 MiB/s is still KB/s") << quarter << 1048576.0 << 2500 << "1048.6 KB/s"
                                           << "250.0/1000.0 MB";
    QTest::newRow("just over 1 MiB/s") << quarter << 1048577.0 << 2500 << "1.0 MB/s"
                                       << "250.0/1000.0 MB";
    QTest::newRow("1 GiB/s is still MB/s") << quarter << 1073741824.0 << 2500 << "1073.7 MB/s"
                                           << "250.0/1000.0 MB";
    QTest::newRow("just over 1 GiB/s") << quarter << 1073741825.0 << 2500 << "1.1 GB/s"
                                       << "250.0/1000.0 MB";
    QTest::newRow("everything downloaded: writing")
        << QList<TFileSize>{1000000000, 1000000000, 300000000, 1200000000} << 5000000.0 << 2500 << "Writing..."
        << "300.0/1200.0 MB";
    QTest::newRow("nothing to fetch or write") << QList<TFileSize>{0, 0, 0, 0} << 0.0 << 0 << "Writing..."
                                               << "0.0/0.0 MB";
}

void TPackageItemTest::downloadProgress()
{
    QFETCH(QList<TFileSize>, counts);
    QFETCH(double, speed);
    QFETCH(int, value);
    QFETCH(QString, format);
    QFETCH(QString, status);

    THostedItem hosted(withStatus(ELocalPackageStatus::UpdateRequired));
    TClientPackageLayoutItem& item = *hosted.item;
    item.onDownloadProgress(counts[0], counts[1], counts[2], counts[3], speed);
    QCOMPARE(item.progressBar()->maximum(), 10000);
    QCOMPARE(item.progressBar()->value(), value);
    QCOMPARE(item.progressBar()->format(), format);
    QCOMPARE(item.statusLabel()->text(), status);
}

void TPackageItemTest::speedFromRateStatistics()
{
    // Ten ticks a second: the mean bytes per tick times ten; no tick yet means no speed.
    QCOMPARE(bytesPerSecondFromRate(0, 5000.0), 0.0);
    QCOMPARE(speedText(bytesPerSecondFromRate(4, 102.4)), QStringLiteral("1024 B/s"));
    QCOMPARE(speedText(bytesPerSecondFromRate(4, 102.5)), QStringLiteral("1.0 KB/s"));
    QCOMPARE(speedText(bytesPerSecondFromRate(12, 321000.0)), QStringLiteral("3.2 MB/s"));
}

void TPackageItemTest::followsAnInstallationUntilItFinishes()
{
    THostedItem hosted(withStatus(ELocalPackageStatus::UpdateRequired));
    TClientPackageLayoutItem& item = *hosted.item;
    TPackageInstallation installation(hosted.package, m_helper);

    item.onInstallationOrUpdateStarted(installation);
    QVERIFY(item.isBusy());
    QVERIFY(!item.actionButton()->isVisible());
    QVERIFY(item.progressBar()->isVisible());
    QCOMPARE(item.progressBar()->size(), item.actionButton()->size());
    QVERIFY(item.progressBar()->format().isEmpty());

    // Phase reports travel queued, as they would from a worker thread.
    emit installation.scanProgress(250, 1000);
    QCOMPARE(item.progressBar()->value(), 0);
    QTRY_COMPARE(item.progressBar()->value(), 2500);
    QCOMPARE(item.progressBar()->format(), QStringLiteral("Scanning..."));
    emit installation.verificationProgress(2000000, 4000000);
    QTRY_COMPARE(item.progressBar()->format(), QStringLiteral("Verifying..."));
    QCOMPARE(item.statusLabel()->text(), QStringLiteral("2.0/4.0 MB"));

    hosted.package->setLocalPackageStatus(ELocalPackageStatus::Installed);
    item.onInstallationOrUpdateFinished(installation);
    QVERIFY(!item.isBusy());
    QVERIFY(item.actionButton()->isVisible());
    QVERIFY(!item.progressBar()->isVisible());
    QCOMPARE(item.progressBar()->value(), 0);
    QCOMPARE(item.statusLabel()->text(), QStringLiteral("2.14.0"));
    QCOMPARE(item.buttonColour(), QStringLiteral("Green"));

    // Reports of a finished installation no longer reach the item.
    emit installation.writeProgress(1, 2);
    QCoreApplication::processEvents();
    QCOMPARE(item.statusLabel()->text(), QStringLiteral("2.14.0"));
}

void TPackageItemTest::pauseAndResumeFromTheProgressArea()
{
    THostedItem hosted(withStatus(ELocalPackageStatus::UpdateRequired));
    TClientPackageLayoutItem& item = *hosted.item;
    TPackageInstallation installation(hosted.package, m_helper);
    QSignalSpy requested(&item, &TClientPackageLayoutItem::pauseRequested);
    const auto menuOffers = [&item] {
        const QList<QAction*> actions = item.pauseMenu()->actions();
        return actions.size() == 1 ? actions.front()->text() : QString();
    };
    QVERIFY(!item.pauseButton()->isVisible());
    item.onInstallationOrUpdateStarted(installation);
    QVERIFY(item.pauseButton()->isVisible());
    QCOMPARE(menuOffers(), QStringLiteral("Pause"));
    QTest::mouseClick(item.pauseButton(), Qt::LeftButton);
    item.pauseMenu()->actions().front()->trigger();
    QCOMPARE(requested.count(), 2);
    QCOMPARE(requested.at(0).at(0).value<std::shared_ptr<TPackage>>(), hosted.package);
    QVERIFY(requested.at(0).at(1).toBool() && requested.at(1).at(1).toBool());

    item.showTimeLeft(125);
    QCOMPARE(item.progressBar()->toolTip(), QStringLiteral("Time left: 2 min 05 s"));
    installation.pause();
    QVERIFY(item.isPaused());
    QCOMPARE(item.pauseButton()->symbol(), TIconButton::ESymbol::Resume);
    QCOMPARE(menuOffers(), QStringLiteral("Resume"));
    QVERIFY(item.progressBar()->toolTip().isEmpty());
    // Reports that arrive while paused move the bar but keep the text.
    emit installation.scanProgress(500, 1000);
    QTRY_COMPARE(item.progressBar()->value(), 5000);
    QCOMPARE(item.progressBar()->format(), QStringLiteral("Paused"));
    item.onDownloadProgress(10, 100, 0, 100, 1000.0);
    QCOMPARE(item.progressBar()->format(), QStringLiteral("Paused"));
    QTest::mouseClick(item.pauseButton(), Qt::LeftButton);
    QVERIFY(!requested.last().at(1).toBool());

    installation.resume();
    QVERIFY(!item.isPaused());
    item.onDownloadProgress(10, 100, 0, 100, 1000.0);
    QCOMPARE(item.progressBar()->format(), QStringLiteral("1000 B/s"));
    item.onInstallationOrUpdateFinished(installation);
    QVERIFY(!item.pauseButton()->isVisible());
}

QTEST_MAIN(TPackageItemTest)
#include "tst_packageitem.moc"
