#include "support/TestPackageFactory.h"

#include "QuenmarVersion.h"

#include "cdntrace/TCloudflareCdnTrace.h"
#include "configuration/TPackage.h"
#include "installation/TPackageInstallation.h"
#include "mainwindow/HintFrameMask.h"
#include "mainwindow/TLauncherMainWindow.h"
#include "network/QNetworkAccessManagerWrapper.h"
#include "network/TDownloadPool.h"
#include "packageitem/TClientPackageLayoutItem.h"
#include "settings/TDownloadPreferences.h"
#include "settings/TLauncherFilesystemHelper.h"
#include "settingsdialog/TDownloadSettingsDialog.h"
#include "support/TFileOpenWatch.h"
#include "support/TLogCapture.h"
#include "support/TTestHttpServer.h"
#include "widgets/ClickableLabel.h"
#include "widgets/QContextPushButton.h"
#include "widgets/TIconButton.h"

#include <QAction>
#include <QApplication>
#include <QBuffer>
#include <QCheckBox>
#include <QDate>
#include <QDesktopServices>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFile>
#include <QGridLayout>
#include <QGroupBox>
#include <QHelpEvent>
#include <QImage>
#include <QMenu>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QPainter>
#include <QProgressBar>
#include <QSet>
#include <QSettings>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>
#include <QTimer>
#include <QToolTip>
#include <QTranslator>

#include <functional>
#include <memory>

using namespace orvan::launcher;
using testsupport::makeTestPackage;
using testsupport::TTestHttpResponse;
using testsupport::TTestHttpServer;
using testsupport::TTestPackageTraits;

namespace {

const QByteArray TraceDocument = "fl=29f44\nh=cdn.example.net\nip=203.0.113.7\nts=1712345678.123\ncolo=FRA\n";

std::shared_ptr<::shared::TDownloadPool> makePool()
{
    auto manager = std::make_shared<::shared::QNetworkAccessManagerWrapper>(std::make_shared<QNetworkAccessManager>());
    return std::make_shared<::shared::TDownloadPool>(4, manager, true);
}

std::vector<std::shared_ptr<TPackage>> makePackages(int count, ELocalPackageStatus status)
{
    std::vector<std::shared_ptr<TPackage>> packages;
    for (int index = 0; index < count; ++index) {
        TTestPackageTraits traits;
        traits.index = index;
        traits.name = QStringLiteral("Package %1").arg(index);
        traits.status = status;
        packages.push_back(makeTestPackage(traits));
    }
    return packages;
}

QByteArray pngOf(const QSize& size, const QColor& colour)
{
    QImage image(size, QImage::Format_RGB32);
    image.fill(colour);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return data;
}

::shared::THint hint(const QString& category, const QString& text, const QString& imageUrl = QString())
{
    ::shared::THint result;
    result.category = category;
    result.richText = text;
    result.imageUrl = imageUrl;
    result.url = QStringLiteral("https://www.brelmor.de/news/") + category;
    return result;
}

/// Runs Inspect on the first modal box that appears and closes it; gives up after a few seconds.
void whenModalBoxAppears(const std::function<void(QMessageBox*)>& inspect)
{
    auto* poll = new QTimer;
    auto attempts = std::make_shared<int>(0);
    QObject::connect(poll, &QTimer::timeout, [poll, attempts, inspect] {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (box || ++*attempts > 500) {
            poll->stop();
            poll->deleteLater();
            if (box) {
                inspect(box);
                box->done(QMessageBox::Ok);
            }
        }
    });
    poll->start(10);
}

/// Receives the links that the window hands to the desktop.
class TUrlRecorder : public QObject
{
    Q_OBJECT

public:
    QList<QUrl> urls;

public slots:
    void openUrl(const QUrl& url) { urls << url; }
};

/// Shows the tool tip of Widget as a resting mouse would, and paints it.
void showToolTip(QWidget* widget)
{
    // The offscreen platform warns that it cannot raise the tip.
    const testsupport::TLogCapture quiet(testsupport::TLogCapture::EForwarding::Nothing);
    QHelpEvent event(QEvent::ToolTip, QPoint(4, 4), widget->mapToGlobal(QPoint(4, 4)));
    QApplication::sendEvent(widget, &event);
    for (QWidget* topLevel : QApplication::topLevelWidgets()) {
        if (topLevel->inherits("QTipLabel")) {
            topLevel->grab();
        }
    }
    QToolTip::hideText();
}

class TNonInteractiveScope
{
public:
    TNonInteractiveScope() { qputenv("QUENMAR_NONINTERACTIVE", "1"); }
    ~TNonInteractiveScope() { qunsetenv("QUENMAR_NONINTERACTIVE"); }
};

} // namespace

/// The main window: its grid, the default check boxes, the hints area and the error and About boxes.
class TMainWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void windowSetUp();
    void fivePackagesFillOneRowAndStartTheNext();
    void atMostOneDefaultCheckBox();
    void itemSignalsAreForwarded();
    void noPackagesShowsTheConnectionProblem();
    void hintsWithoutAllCategoriesKeepThePanelsHidden();
    void threeHintsFillSlantedPanels();
    void hintPanelOpensTheLinkAndSurvivesAMissingImage();
    void hintClickOpensOnlyWebLinks_data();
    void hintClickOpensOnlyWebLinks();
    void hintsReadNothingLocal_data();
    void hintsReadNothingLocal();
    void downloadFailedShowsTraceWhenItArrives();
    void downloadFailedWithFailingOrMissingTrace();
    void installationEndsByReason();
    void aboutBoxFromTheCatalogue();
    void screenshotIsTheFullWindow();
    void downloadSettingsEditThePreferences_data();
    void downloadSettingsEditThePreferences();

private:
    std::unique_ptr<TLauncherMainWindow> makeWindow(const std::vector<std::shared_ptr<TPackage>>& packages,
                                                    std::shared_ptr<TCloudflareCdnTrace> trace = nullptr);

    TTestHttpServer m_server;
    std::shared_ptr<::shared::TDownloadPool> m_pool;
    std::shared_ptr<TLauncherFilesystemHelper> m_helper;
};

void TMainWindowTest::initTestCase()
{
    m_pool = makePool();
    m_helper = std::make_shared<TLauncherFilesystemHelper>(QStringLiteral(":/settings/launchersettings.ini"));
}

void TMainWindowTest::cleanup()
{
    m_server.clearResponses();
    m_server.clearLog();
}

std::unique_ptr<TLauncherMainWindow> TMainWindowTest::makeWindow(const std::vector<std::shared_ptr<TPackage>>& packages,
                                                                 std::shared_ptr<TCloudflareCdnTrace> trace)
{
    if (!trace) {
        trace = std::make_shared<TCloudflareCdnTrace>(m_pool, QUrl());
    }
    return std::make_unique<TLauncherMainWindow>(packages, nullptr, m_pool, trace, false,
                                                 QStringLiteral(QUENMAR_VERSION));
}

void TMainWindowTest::windowSetUp()
{
    auto window = makeWindow(makePackages(2, ELocalPackageStatus::Installed));
    QCOMPARE(window->windowTitle(), QStringLiteral("Quenmar Online"));
    const Qt::WindowFlags expected(0x0A005100);
    QCOMPARE(window->windowFlags() & expected, expected);
    QCOMPARE(window->minimumWidth(), 800);
    QCOMPARE(window->maximumWidth(), 800);
    QCOMPARE(window->minimumHeight(), 450);
    QCOMPARE(window->maximumHeight(), 600);
    QVERIFY(window->styleSheet().contains(QLatin1String(":/images/launcher/BackgroundImage.jpg")));
    QVERIFY(!window->messageBox());
    QVERIFY(window->hasHintsSpacer());
    QVERIFY(window->hintsContainer()->isHidden());
    QCOMPARE(window->defaultIndex(), -1);

    const QList<QLabel*> labels = window->findChildren<QLabel*>();
    const auto labelWithTip = [&](const QString& toolTip) -> QLabel* {
        for (QLabel* label : labels) {
            if (label->toolTip() == toolTip) {
                return label;
            }
        }
        return nullptr;
    };
    QLabel* about = labelWithTip(QStringLiteral("About"));
    QVERIFY(about);
    QCOMPARE(about->text(), QStringLiteral("<a href=\"about\"><img src=\":/images/launcher/icircle.png\"/></a>"));
    QVERIFY(!about->openExternalLinks());
    QVERIFY(labelWithTip(QStringLiteral("Follow us on Twitter")));
    QVERIFY(labelWithTip(QStringLiteral("Follow us on Discord")));
    bool versionShown = false;
    for (QLabel* label : labels) {
        versionShown = versionShown || label->text() == QLatin1String("v" QUENMAR_VERSION);
    }
    QVERIFY(versionShown);
}

void TMainWindowTest::fivePackagesFillOneRowAndStartTheNext()
{
    auto window = makeWindow(makePackages(5, ELocalPackageStatus::NotInstalled));
    QCOMPARE(window->items().size(), std::size_t(5));
    const QList<QPair<int, int>> expected{{0, 0}, {0, 1}, {0, 2}, {0, 3}, {1, 0}};
    for (int index = 0; index < 5; ++index) {
        TClientPackageLayoutItem* item = window->items().at(index);
        QCOMPARE(item->package()->packageIndex(), index);
        auto* grid = qobject_cast<QGridLayout*>(item->parent());
        QVERIFY(grid);
        int row = -1, column = -1, rowSpan = 0, columnSpan = 0;
        grid->getItemPosition(grid->indexOf(item), &row, &column, &rowSpan, &columnSpan);
        QCOMPARE(qMakePair(row, column), expected.at(index));
    }

    // Two rows still fit into the highest window, with every logo above its own frame.
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QVERIFY(window->height() <= 600);
    for (const auto& entry : window->items()) {
        const QRect logo = entry.second->logoLabel()->geometry();
        const QRect frame = entry.second->frame()->geometry();
        QVERIFY2(logo.bottom() < frame.top(), qPrintable(entry.second->package()->name()));
    }
    const QRect firstRowFrame = window->items().at(0)->frame()->geometry();
    const QRect secondRowLogo = window->items().at(4)->logoLabel()->geometry();
    QVERIFY(firstRowFrame.bottom() < secondRowLogo.top());
}

void TMainWindowTest::atMostOneDefaultCheckBox()
{
    const auto packages = makePackages(3, ELocalPackageStatus::Installed);
    auto window = makeWindow(packages);
    QSignalSpy defaultChanged(window.get(), &TLauncherMainWindow::defaultChanged);
    const auto box = [&](int index) { return window->items().at(index)->defaultClientCheckBox(); };
    const auto checkedCount = [&] {
        int count = 0;
        for (const auto& entry : window->items()) {
            count += entry.second->defaultClientCheckBox()->isChecked() ? 1 : 0;
        }
        return count;
    };

    box(1)->setChecked(true);
    QCOMPARE(window->defaultIndex(), 1);
    QCOMPARE(checkedCount(), 1);

    box(2)->setChecked(true);
    QCOMPARE(window->defaultIndex(), 2);
    QVERIFY(!box(1)->isChecked());
    QCOMPARE(checkedCount(), 1);

    box(2)->setChecked(false);
    QCOMPARE(window->defaultIndex(), -1);
    QCOMPARE(checkedCount(), 0);

    // The unchecking of the previous default is not reported as a change of its own.
    QCOMPARE(defaultChanged.count(), 3);
    const QList<QPair<int, bool>> expected{{1, true}, {2, true}, {2, false}};
    for (int call = 0; call < 3; ++call) {
        const auto package = defaultChanged.at(call).at(0).value<std::shared_ptr<TPackage>>();
        QCOMPARE(qMakePair(package->packageIndex(), defaultChanged.at(call).at(1).toBool()), expected.at(call));
    }
}

void TMainWindowTest::itemSignalsAreForwarded()
{
    TTestPackageTraits defaultSpec;
    defaultSpec.index = 7;
    defaultSpec.status = ELocalPackageStatus::Installed;
    defaultSpec.isDefault = true;
    TTestPackageTraits otherSpec = defaultSpec;
    otherSpec.index = 8;
    const std::vector<std::shared_ptr<TPackage>> packages{makeTestPackage(defaultSpec), makeTestPackage(otherSpec)};
    auto window = makeWindow(packages);
    // Of two packages marked as default only the first shows it.
    QVERIFY(window->items().at(7)->defaultClientCheckBox()->isChecked());
    QVERIFY(!window->items().at(8)->defaultClientCheckBox()->isChecked());

    window->show();
    QSignalSpy clicked(window.get(), &TLauncherMainWindow::clientPackageButtonClicked);
    QSignalSpy verify(window.get(), &TLauncherMainWindow::clientPackageVerifyButtonClicked);
    QTest::mouseClick(window->items().at(8)->actionButton(), Qt::LeftButton);
    window->items().at(7)->actionButton()->contextMenu()->actions().first()->trigger();
    QCOMPARE(clicked.count(), 1);
    QCOMPARE(clicked.at(0).at(0).value<std::shared_ptr<TPackage>>(), packages[1]);
    QCOMPARE(verify.count(), 1);
    QCOMPARE(verify.at(0).at(0).value<std::shared_ptr<TPackage>>(), packages[0]);
}

void TMainWindowTest::noPackagesShowsTheConnectionProblem()
{
    auto window = makeWindow({});
    QVERIFY(window->items().empty());
    QMessageBox* box = window->messageBox();
    QVERIFY(box);
    QCOMPARE(box->windowTitle(), QStringLiteral("Connection problem"));
    QCOMPARE(box->text(), QStringLiteral("Could not connect to the update service.\n\nPlease try again later.\n"));
    QCOMPARE(box->icon(), QMessageBox::Critical);
    QVERIFY(box->isVisible());
    QVERIFY(!box->isModal());
}

void TMainWindowTest::hintsWithoutAllCategoriesKeepThePanelsHidden()
{
    auto window = makeWindow(makePackages(1, ELocalPackageStatus::Installed));
    window->show();
    window->setHints({hint("cat1", "First"), hint("cat2", "Second"), hint("news", "Ignored")});
    QVERIFY(window->hintsContainer()->isHidden());
    QVERIFY(window->hasHintsSpacer());
    QVERIFY(window->hintsBox()->isVisible());
    // The two filled panels are framed; the third still waits for its hint.
    QCOMPARE(window->hintSlot(0)->size(), QSize(286, 84));
    QCOMPARE(window->hintSlot(1)->size(), QSize(286, 84));
    QCOMPARE(window->hintSlot(2)->size(), QSize(276, 80));

    window->setHints({});
    QVERIFY(window->hintsBox()->isVisible());
    QVERIFY(window->hasHintsSpacer());
}

void TMainWindowTest::threeHintsFillSlantedPanels()
{
    m_server.setContent("/wide.png", pngOf(QSize(580, 100), Qt::darkCyan), "image/png");
    m_server.setContent("/tall.png", pngOf(QSize(100, 200), Qt::darkRed), "image/png");
    auto window = makeWindow(makePackages(4, ELocalPackageStatus::Installed));
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const int heightBefore = window->sizeHint().height();

    window->setHints({hint("cat1", "One", m_server.url("/wide.png").toString()),
                      hint("cat2", "Two", m_server.url("/tall.png").toString()),
                      hint("cat3", "Three", m_server.url("/wide.png").toString()),
                      hint("cat2", "Two again", m_server.url("/wide.png").toString())});
    QVERIFY(window->hintsContainer()->isVisible());
    QVERIFY(!window->hasHintsSpacer());
    // The row of panels takes the place of the spacer without growing the window.
    QVERIFY(window->sizeHint().height() <= heightBefore);

    const auto imageOf = [&](int index) {
        return window->hintSlot(index)->findChildren<ClickableLabel*>().at(0)->pixmap(Qt::ReturnByValue);
    };
    for (int index = 0; index < TLauncherMainWindow::HintPanelCount; ++index) {
        QTRY_VERIFY(!imageOf(index).isNull());
        QWidget* frame = window->hintSlot(index);
        QCOMPARE(frame->size(), QSize(286, 84));
        QCOMPARE(frame->mask(), hintFrameMask(index, QSize(286, 84)));
        QVERIFY(frame->styleSheet().contains(QLatin1String("QWidget:hover { background-color: #8ED838; }")));
        QCOMPARE(frame->findChildren<ClickableLabel*>().size(), 2);
        // Scaled to cover 290 x 80 with the picture's own proportions.
        const QPixmap pixmap = imageOf(index);
        QVERIFY(pixmap.width() >= 290 && pixmap.height() >= 80);
        QVERIFY(pixmap.width() == 290 || pixmap.height() == 80);
    }
    // The second panel shows its later hint's wide picture, not the tall one that was asked for first.
    QCOMPARE(imageOf(1).height(), 80);
    QCOMPARE(m_server.requestCount("/tall.png"), 1);
    QCOMPARE(m_server.requestCount("/wide.png"), 1);
    QCOMPARE(window->hintSlot(1)->findChildren<ClickableLabel*>().at(1)->text(), QStringLiteral("Two again"));

    // The tiles interlock: the first ends in a slant that the second starts with, the last is square on the right.
    const QSize frame(286, 84);
    QVERIFY(hintFrameMask(0, frame).contains(QPoint(0, 83)));
    QVERIFY(!hintFrameMask(0, frame).contains(QPoint(284, 82)));
    QVERIFY(!hintFrameMask(1, frame).contains(QPoint(1, 1)));
    QVERIFY(hintFrameMask(1, frame).contains(QPoint(1, 82)));
    QVERIFY(hintFrameMask(2, frame).contains(QPoint(284, 82)));
    QVERIFY(!hintFrameMask(2, frame).contains(QPoint(1, 1)));
}

void TMainWindowTest::hintPanelOpensTheLinkAndSurvivesAMissingImage()
{
    TUrlRecorder recorder;
    QDesktopServices::setUrlHandler(QStringLiteral("https"), &recorder, "openUrl");
    auto window = makeWindow(makePackages(1, ELocalPackageStatus::Installed));
    window->show();
    QSignalSpy poolFailure(m_pool.get(), &::shared::TDownloadPool::failed);
    window->setHints({hint("cat1", "<b>Patch notes</b>", m_server.url("/missing.png").toString()), hint("cat2", "Two"),
                      hint("cat3", "Three")});
    QVERIFY(poolFailure.wait());
    QCOMPARE(m_server.requestCount("/missing.png"), 1);

    const QList<ClickableLabel*> labels = window->hintSlot(0)->findChildren<ClickableLabel*>();
    QCOMPARE(labels.size(), 2);
    QVERIFY(labels.at(0)->pixmap(Qt::ReturnByValue).isNull());
    ClickableLabel* caption = labels.at(1);
    QCOMPARE(caption->text(), QStringLiteral("<b>Patch notes</b>"));
    QCOMPARE(caption->toolTip(), QStringLiteral("https://www.brelmor.de/news/cat1"));
    QTest::mouseClick(caption, Qt::LeftButton);
    QTest::mouseClick(labels.at(0), Qt::LeftButton);
    QDesktopServices::unsetUrlHandler(QStringLiteral("https"));
    QCOMPARE(recorder.urls,
             (QList<QUrl>{QUrl("https://www.brelmor.de/news/cat1"), QUrl("https://www.brelmor.de/news/cat1")}));
}

void TMainWindowTest::hintClickOpensOnlyWebLinks_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<bool>("opened");
    QTest::newRow("https") << "https://www.brelmor.de/news" << true;
    QTest::newRow("http") << "http://www.brelmor.de/news" << true;
    QTest::newRow("file url") << "file:///etc/passwd" << false;
    QTest::newRow("absolute path") << "/usr/bin/xterm" << false;
    QTest::newRow("relative path") << "news/cat1.html" << false;
    QTest::newRow("script") << "javascript:alert(1)" << false;
    QTest::newRow("ftp") << "ftp://127.0.0.1/news" << false;
}

void TMainWindowTest::hintClickOpensOnlyWebLinks()
{
    QFETCH(QString, link);
    QFETCH(bool, opened);
    TUrlRecorder recorder;
    const QStringList schemes{"https", "http", "file", "javascript", "ftp", ""};
    for (const QString& scheme : schemes) {
        QDesktopServices::setUrlHandler(scheme, &recorder, "openUrl");
    }
    auto window = makeWindow(makePackages(1, ELocalPackageStatus::Installed));
    window->show();
    ::shared::THint linked = hint("cat1", "News");
    linked.url = link;
    window->setHints({linked});
    for (ClickableLabel* label : window->hintSlot(0)->findChildren<ClickableLabel*>()) {
        QTest::mouseClick(label, Qt::LeftButton);
    }
    for (const QString& scheme : schemes) {
        QDesktopServices::unsetUrlHandler(scheme);
    }
    const QList<QUrl> expected = opened ? QList<QUrl>{QUrl(link), QUrl(link)} : QList<QUrl>();
    QCOMPARE(recorder.urls, expected);
}

void TMainWindowTest::hintsReadNothingLocal_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QString>("imageUrl");
    QTest::addColumn<QString>("link");
    const QString formatted = QStringLiteral("<b>Bold</b> <i>it</i> <a href=\"https://example.org/\">link</a><br/>");
    const QString web = QStringLiteral("https://www.brelmor.de/news");
    QTest::newRow("device file in text") << formatted + "<img src=\"/dev/zero\"/>" << QString() << web;
    QTest::newRow("system file in text") << formatted + "<img src=\"file:///etc/passwd\"/>" << QString() << web;
    QTest::newRow("file image in text") << formatted + "<img src=\"%file\"/>" << QString() << web;
    QTest::newRow("fifo image in text") << formatted + "<img src=\"%fifo\"/>" << QString() << web;
    QTest::newRow("relative name in text") << formatted + "<img src=\"watched.png\"/>" << QString() << web;
    QTest::newRow("data url in text") << formatted + "<img src=\"%data\"/>" << QString() << web;
    QTest::newRow("table background") << formatted + "<table background=\"%path\"><tr><td>cell</td></tr></table>"
                                      << QString() << web;
    QTest::newRow("cell backgrounds") << formatted + "<table><tr><td background=\"%fifo\">cell</td>"
                                                     "<th background=\"watched.png\">head</th></tr></table>"
                                      << QString() << web;
    QTest::newRow("body background") << "<body background=\"%fifo\">" + formatted + "</body>" << QString() << web;
    QTest::newRow("css backgrounds") << "<p style=\"background-image: url(%path)\">" + formatted +
                                            "<span style=\"background: url(%fifo)\">span</span></p>"
                                            "<table style=\"background-image: url(%file)\"><tr>"
                                            "<td style=\"background-image: url(%fifo)\">cell</td></tr></table>"
                                     << QString() << web;
    QTest::newRow("style sheets") << "<link rel=\"stylesheet\" type=\"text/css\" href=\"%path\"/>"
                                     "<style>@import url(%fifo); b { background-image: url(%path); }</style>" +
                                         formatted
                                  << QString() << web;
    QTest::newRow("file image url") << formatted << "%file" << web;
    QTest::newRow("device image url") << formatted << "/dev/zero" << web;
    QTest::newRow("data image url") << formatted << "%data" << web;
    QTest::newRow("image in link") << formatted << QString() << "<img src=\"%fifo\"/>";
    QTest::newRow("background in link") << formatted << QString()
                                        << "<table background=\"%path\"><tr><td>x</td></tr></table>";
}

void TMainWindowTest::hintsReadNothingLocal()
{
    QFETCH(QString, text);
    QFETCH(QString, imageUrl);
    QFETCH(QString, link);
    testsupport::TFileOpenWatch watch;
    QVERIFY(watch.isValid());
    // Relative names resolve against the working folder.
    const QString workingFolder = QDir::currentPath();
    QVERIFY(QDir::setCurrent(watch.path()));
    const QByteArray png = pngOf(QSize(300, 90), Qt::darkCyan);
    const auto fill = [&](QString text) {
        return text.replace("%file", QUrl::fromLocalFile(watch.filePath()).toString())
            .replace("%path", watch.filePath())
            .replace("%fifo", watch.fifoPath())
            .replace("%data", "data:image/png;base64," + QString::fromLatin1(png.toBase64()));
    };
    QSignalSpy poolReports(m_pool.get(), &::shared::TDownloadPool::failed);
    auto window = makeWindow(makePackages(1, ELocalPackageStatus::Installed));
    window->show();
    if (!imageUrl.isEmpty()) {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Hint image could not be loaded:"));
    }
    ::shared::THint shown = hint("cat1", fill(text), fill(imageUrl));
    shown.url = fill(link);
    window->setHints({shown, hint("cat2", "Two"), hint("cat3", "Three")});
    window->grab();
    const QList<ClickableLabel*> labels = window->hintSlot(0)->findChildren<ClickableLabel*>();
    showToolTip(labels.at(1));
    QDir::setCurrent(workingFolder);

    QCOMPARE(watch.openedFiles(), QStringList());
    QVERIFY(labels.at(0)->pixmap(Qt::ReturnByValue).isNull());
    const QString caption = labels.at(1)->text();
    QVERIFY(!caption.contains("img") && !caption.contains(watch.path()));
    QCOMPARE(m_pool->requestCount(), 0);
    QCOMPARE(poolReports.count(), 0);
    // The formatting survives.
    QTextDocument shownText;
    shownText.setHtml(caption);
    QVERIFY(shownText.find("Bold").charFormat().fontWeight() > QFont::Normal);
    QVERIFY(shownText.find("it").charFormat().fontItalic());
    QCOMPARE(shownText.find("link").charFormat().anchorHref(), QStringLiteral("https://example.org/"));
}

void TMainWindowTest::downloadFailedShowsTraceWhenItArrives()
{
    m_server.setResponse("/cdn-cgi/trace", TTestHttpResponse().body(TraceDocument, "text/plain").held());
    auto trace = std::make_shared<TCloudflareCdnTrace>(m_pool, m_server.url("/cdn-cgi/trace"));
    auto window = makeWindow(makePackages(1, ELocalPackageStatus::Installed), trace);
    window->show();

    window->showDownloadFailedMessage(QStringLiteral("Quenmar Online"));
    QMessageBox* box = window->messageBox();
    QVERIFY(box);
    QCOMPARE(box->windowTitle(), QStringLiteral("Download failed"));
    QCOMPARE(box->icon(), QMessageBox::Critical);
    QVERIFY(box->isVisible());
    QVERIFY(!box->isModal());
    const QString prefix = QStringLiteral("The installation of Quenmar Online failed.\n\nNot all files necessary could "
                                          "be downloaded. Please try again later.\n\nDiagnostic information: ");
    QCOMPARE(box->text(), prefix + QStringLiteral("Loading, please wait..."));
    QTRY_COMPARE(m_server.heldCount("/cdn-cgi/trace"), 1);

    QCOMPARE(m_server.releaseHeld("/cdn-cgi/trace"), 1);
    QTRY_VERIFY(trace->isReceived());
    QCOMPARE(window->messageBox(), box);
    QCOMPARE(box->text(), prefix + QStringLiteral("FL: 29f44, TS: 1712345678.123, COLO: FRA, IP: 203.0.113.7"));

    // A later failure uses the trace at hand without asking again.
    window->showDownloadFailedMessage(QStringLiteral("Quenmar Beta"));
    QVERIFY(box->text().startsWith(QLatin1String("The installation of Quenmar Beta failed.")));
    QVERIFY(box->text().endsWith(QLatin1String("IP: 203.0.113.7")));
    QCOMPARE(m_server.requestCount("/cdn-cgi/trace"), 1);
}

void TMainWindowTest::downloadFailedWithFailingOrMissingTrace()
{
    m_server.setResponse("/broken-trace", TTestHttpResponse().status(500).body("no").held());
    auto trace = std::make_shared<TCloudflareCdnTrace>(m_pool, m_server.url("/broken-trace"));
    auto window = makeWindow(makePackages(1, ELocalPackageStatus::Installed), trace);
    window->showDownloadFailedMessage(QStringLiteral("Quenmar Online"));
    QVERIFY(window->messageBox()->text().endsWith(QLatin1String("Loading, please wait...")));
    QTRY_COMPARE(m_server.heldCount("/broken-trace"), 1);
    m_server.releaseHeld("/broken-trace");
    QTRY_VERIFY(window->messageBox()->text().endsWith(QLatin1String("Diagnostic information: Failed to obtain "
                                                                    "information.")));

    // Without a trace address there is nothing to wait for.
    auto unset = makeWindow(makePackages(1, ELocalPackageStatus::Installed));
    unset->showDownloadFailedMessage(QStringLiteral("Quenmar Online"));
    QVERIFY(unset->messageBox()->text().endsWith(QLatin1String("Failed to obtain information.")));
}

void TMainWindowTest::installationEndsByReason()
{
    TNonInteractiveScope nonInteractive;
    const auto packages = makePackages(2, ELocalPackageStatus::Installed);
    auto window = makeWindow(packages);
    window->show();
    TClientPackageLayoutItem* item = window->items().at(1);

    auto succeeded = std::make_unique<TPackageInstallation>(packages[1], m_helper);
    window->onInstallationOrUpdateStarted(*succeeded);
    QVERIFY(item->isBusy());
    QVERIFY(item->progressBar()->isVisible());
    QVERIFY(!window->items().at(0)->isBusy());
    item->onScanProgress(1, 2);
    window->onInstallationOrUpdateFinished(*succeeded);
    QVERIFY(!item->isBusy());
    QVERIFY(!item->progressBar()->isVisible());
    QVERIFY(item->actionButton()->isVisible());
    QCOMPARE(item->progressBar()->value(), 0);
    QCOMPARE(item->statusLabel()->text(), QStringLiteral("2.14.0"));
    QVERIFY(!window->messageBox());

    auto failed = std::make_unique<TPackageInstallation>(packages[1], m_helper);
    window->onInstallationOrUpdateStarted(*failed);
    QMetaObject::invokeMethod(failed.get(), "onVerifyFinished", Q_ARG(bool, false));
    QCOMPARE(failed->errorReason(), EPackageDownloaderError::VerificationFailed);
    QTest::ignoreMessage(QtInfoMsg,
                         QRegularExpression("^Message box: \"Installation failed\" \"The installation of Package 1 "
                                            "failed.\\\\n\\\\nVerification of game data failed!\"$"));
    window->onInstallationOrUpdateFinished(*failed);
    QVERIFY(!item->isBusy());
    // The installation boxes are modal and separate from the reused non-modal box.
    QVERIFY(!window->messageBox());
}

void TMainWindowTest::aboutBoxFromTheCatalogue()
{
    QTranslator translator;
    QVERIFY(translator.load(QStringLiteral("launcher.en"), QStringLiteral(QUENMAR_BINARY_DIR "/bin")));
    QCoreApplication::installTranslator(&translator);
    auto window = makeWindow(makePackages(1, ELocalPackageStatus::Installed));
    window->show();

    QString title;
    QString text;
    Qt::TextFormat format = Qt::PlainText;
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    Qt::WindowModality modality = Qt::NonModal;
    whenModalBoxAppears([&](QMessageBox* box) {
        title = box->windowTitle();
        text = box->text();
        format = box->textFormat();
        icon = box->icon();
        modality = box->windowModality();
    });
    window->onAboutDialogRequested();
    QCoreApplication::removeTranslator(&translator);

    QCOMPARE(title, QStringLiteral("About Quenmar Online"));
    QCOMPARE(format, Qt::RichText);
    QCOMPARE(icon, QMessageBox::Information);
    QVERIFY(modality != Qt::NonModal);
    QVERIFY(text.contains(QStringLiteral("2002&#8211;%1").arg(QDate::currentDate().year())));
    QVERIFY(
        text.contains(QLatin1String("<a href=\"https://www.gnu.org/licenses/lgpl-3.0.html\">https://www.gnu.org/")));
    QVERIFY(text.contains(QLatin1String("<a href=\"https://code.qt.io/cgit/qt/qtbase.git/\">https://code.qt.io/")));
    QVERIFY(!text.contains(QLatin1String("%1")));
}

void TMainWindowTest::screenshotIsTheFullWindow()
{
    auto window = makeWindow(makePackages(4, ELocalPackageStatus::UpdateRequired));
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    const QImage shot = window->grab().toImage();
    QCOMPARE(shot.width(), 800);
    QVERIFY(shot.height() >= 450 && shot.height() <= 600);

    // Artwork, not a flat fill: many colours, and the orange Update buttons among them.
    QSet<QRgb> colours;
    for (int y = 0; y < shot.height(); y += 2) {
        for (int x = 0; x < shot.width(); x += 2) {
            colours.insert(shot.pixel(x, y));
        }
    }
    QVERIFY2(colours.size() > 1000, qPrintable(QString::number(colours.size())));
    const QWidget* button = window->items().at(0)->actionButton();
    const QColor centre = shot.pixelColor(button->mapTo(window.get(), QPoint(8, button->height() / 2)));
    QVERIFY2(centre.red() > centre.blue() + 60, qPrintable(centre.name()));
}

void TMainWindowTest::downloadSettingsEditThePreferences_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<double>("typedRate");
    QTest::addColumn<int>("typedCount");
    QTest::addColumn<qint64>("rate");
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("choiceStored");
    // The publisher's defaults are no limit and 4; the player chose 1 MB/s and 2 before.
    QTest::newRow("OK stores decimal megabytes") << "OK" << 2.5 << 3 << qint64(2500000) << 3 << true;
    QTest::newRow("OK clamps to the bounds") << "OK" << -4.0 << 40 << qint64(0) << 16 << true;
    QTest::newRow("Cancel stores nothing") << "Cancel" << 7.0 << 9 << qint64(1000000) << 2 << true;
    QTest::newRow("Defaults then OK forgets the choice") << "Defaults" << 7.0 << 9 << qint64(0) << 4 << false;
}

void TMainWindowTest::downloadSettingsEditThePreferences()
{
    QFETCH(QString, button);
    QFETCH(double, typedRate);
    QFETCH(int, typedCount);
    QFETCH(qint64, rate);
    QFETCH(int, count);
    QFETCH(bool, choiceStored);
    QTemporaryDir store;
    QSettings::setDefaultFormat(QSettings::IniFormat);
    QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, store.path());
    TDownloadPreferences preferences(0, 4);
    preferences.setMaxDownloadRate(1000000);
    preferences.setMaxConcurrentDownloads(2);

    auto window = makeWindow(makePackages(1, ELocalPackageStatus::Installed));
    window->show();
    QVERIFY(!window->downloadSettingsButton()->isVisible());
    window->setDownloadPreferences(&preferences);
    QTest::mouseClick(window->downloadSettingsButton(), Qt::LeftButton);
    TDownloadSettingsDialog* dialog = window->downloadSettingsDialog();
    QVERIFY(dialog);
    QCOMPARE(dialog->rateBox()->text(), QStringLiteral("1.0 MB/s"));
    QCOMPARE(dialog->parallelDownloadsBox()->value(), 2);
    dialog->rateBox()->setValue(typedRate);
    dialog->parallelDownloadsBox()->setValue(typedCount);
    if (button == QLatin1String("Defaults")) {
        QTest::mouseClick(dialog->defaultsButton(), Qt::LeftButton);
        QCOMPARE(dialog->rateBox()->text(), QStringLiteral("No limit"));
        button = QStringLiteral("OK");
    }
    QTest::mouseClick(button == QLatin1String("OK") ? dialog->okButton() : dialog->cancelButton(), Qt::LeftButton);
    QTRY_VERIFY(!window->downloadSettingsDialog());

    QCOMPARE(preferences.maxDownloadRate(), rate);
    QCOMPARE(preferences.maxConcurrentDownloads(), count);
    QCOMPARE(QSettings().contains(TDownloadPreferences::RateKey), choiceStored);
    const TDownloadPreferences reread(0, 4);
    QCOMPARE(reread.maxDownloadRate(), rate);
    QCOMPARE(reread.maxConcurrentDownloads(), count);
}

QTEST_MAIN(TMainWindowTest)
#include "tst_mainwindow.moc"
