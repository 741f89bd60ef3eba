#include "mainwindow/TLauncherMainWindow.h"

#include "mainwindow/THintsArea.h"
#include "messagebox/TMessageBoxPresenter.h"

#include "cdntrace/TCloudflareCdnTrace.h"
#include "configuration/TPackage.h"
#include "installation/EPackageDownloaderError.h"
#include "installation/TPackageInstallation.h"
#include "packageitem/LauncherStyle.h"
#include "packageitem/TClientPackageLayoutItem.h"
#include "settings/TDownloadPreferences.h"
#include "widgets/TIconButton.h"

#include <QCheckBox>
#include <QDate>
#include <QDebug>
#include <QGridLayout>
#include <QGroupBox>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QScreen>
#include <QSpacerItem>
#include <QThread>
#include <QVBoxLayout>

#include <algorithm>

namespace orvan::launcher {

namespace {

// 0x0A005100: title, minimise and close buttons on customised decorations, fixed-size dialog frame.
constexpr Qt::WindowFlags MainWindowFlags = Qt::WindowTitleHint | Qt::WindowMinimizeButtonHint |
                                            Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint |
                                            Qt::MSWindowsFixedSizeDialogHint;

constexpr int WindowWidth = 800;
constexpr int MinimumWindowHeight = 450;
constexpr int MaximumWindowHeight = 600;
// Logos never shrink below this, however many rows of packages there are.
constexpr int MinimumLogoSide = 48;

const QString MakerSite = QStringLiteral("https://www.brelmor.de/");
const QString TwitterPage = QStringLiteral("https://twitter.com/QuenmarOnline");
const QString DiscordInvite = QStringLiteral("https://discord.gg/quenmar");
const QString LicenceAddress = QStringLiteral("https://www.gnu.org/licenses/lgpl-3.0.html");
const QString ToolkitSourceAddress = QStringLiteral("https://code.qt.io/cgit/qt/qtbase.git/");

QString quoted(const QString& text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

/// A label showing imagePath as a link to Target.
QLabel* createIconLink(const QString& imagePath, const QString& target, const QString& toolTip)
{
    auto* label = new QLabel;
    label->setTextFormat(Qt::RichText);
    label->setText(QStringLiteral("<a href=") + quoted(target) + QStringLiteral("><img src=") + quoted(imagePath) +
                   QStringLiteral("/></a>"));
    label->setToolTip(toolTip);
    label->setOpenExternalLinks(true);
    label->setCursor(Qt::PointingHandCursor);
    return label;
}

} // namespace

TLauncherMainWindow::TLauncherMainWindow(const std::vector<std::shared_ptr<TPackage>>& platformPackages,
                                         std::shared_ptr<TLauncherConfigurationReader> mainConfiguration,
                                         std::shared_ptr<::shared::TDownloadPool> downloadPool,
                                         std::shared_ptr<TCloudflareCdnTrace> cdnTrace, bool showPackageNames,
                                         const QString& launcherVersion, QWidget* parent)
    : TDraggableMainWindow(parent, MainWindowFlags), m_mainConfiguration(std::move(mainConfiguration)),
      m_downloadPool(std::move(downloadPool)), m_cdnTrace(std::move(cdnTrace))
{
    ensureLauncherResources();
    setUpWindow();

    auto* central = new QWidget(this);
    m_mainLayout = new QVBoxLayout(central);
    setCentralWidget(central);

    QLayout* packageRow = createPackageRow(platformPackages, showPackageNames);
    QLayout* topLinksRow = createTopLinksRow(launcherVersion);
    QLayout* socialRow = createSocialRow();

    m_mainLayout->addSpacing(11);
    m_mainLayout->addLayout(packageRow);
    if (platformPackages.empty()) {
        m_mainLayout->addSpacing(300);
        showConnectionProblemMessage();
    }
    m_mainLayout->addSpacing(6);
    m_spacer = new QSpacerItem(700, 84, QSizePolicy::Minimum, QSizePolicy::Minimum);
    m_mainLayout->addItem(m_spacer);

    createHintsBox(topLinksRow, socialRow);
    m_mainLayout->addWidget(m_hintsBox, 0, Qt::AlignHCenter);
    m_mainLayout->addSpacing(-14);
    fitItemsIntoWindowHeight();

    // Not adjustSize(): it limits windows to two thirds of the screen, which would squeeze the grid on small screens.
    resize(WindowWidth, qBound(MinimumWindowHeight, sizeHint().height(), MaximumWindowHeight));
    if (const QScreen* screen = QGuiApplication::primaryScreen()) {
        const QSize free = screen->size() - size();
        move(free.width() / 2, free.height() / 2);
    }
}

TLauncherMainWindow::~TLauncherMainWindow()
{
    if (m_spacer && m_mainLayout->indexOf(m_spacer) < 0) {
        delete m_spacer;
    }
}

void TLauncherMainWindow::setUpWindow()
{
    setWindowTitle(QStringLiteral("Quenmar Online"));
    setFixedWidth(WindowWidth);
    setMinimumHeight(MinimumWindowHeight);
    setMaximumHeight(MaximumWindowHeight);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::MinimumExpanding);
    // The picture's lower 450 rows are drawn as they are at the bottom; the sky above stretches with the height.
    setStyleSheet(QStringLiteral("QMainWindow { border-image: url(") + LauncherImagePrefix +
                  QStringLiteral("BackgroundImage.jpg) 0 0 450 0; border-top: 0px; border-left: 0px; "
                                 "border-right: 0px; border-bottom: 450px; }"));
}

QLayout* TLauncherMainWindow::createPackageRow(const std::vector<std::shared_ptr<TPackage>>& platformPackages,
                                               bool showPackageNames)
{
    auto* grid = new QGridLayout;
    int row = 0;
    int column = 0;
    bool defaultShown = false;
    for (const std::shared_ptr<TPackage>& package : platformPackages) {
        auto* item = new TClientPackageLayoutItem(package, showPackageNames);
        m_items[package->packageIndex()] = item;
        // Only one box may be checked even if the document marks more than one package as default.
        item->defaultClientCheckBox()->setChecked(package->isDefault() && !defaultShown);
        defaultShown = defaultShown || package->isDefault();
        grid->addLayout(item, row, column);
        if (++column == ItemsPerRow) {
            column = 0;
            ++row;
        }
        connect(item, &TClientPackageLayoutItem::defaultChanged, this,
                &TLauncherMainWindow::onDefaultClientCheckboxChanged);
        connect(item, &TClientPackageLayoutItem::buttonClicked, this, &TLauncherMainWindow::clientPackageButtonClicked);
        connect(item, &TClientPackageLayoutItem::verifyButtonClicked, this,
                &TLauncherMainWindow::clientPackageVerifyButtonClicked);
        connect(item, &TClientPackageLayoutItem::pauseRequested, this,
                &TLauncherMainWindow::clientPackagePauseRequested);
    }
    auto* packageRow = new QHBoxLayout;
    packageRow->addStretch(1);
    packageRow->addLayout(grid, 2);
    packageRow->addStretch(1);
    return packageRow;
}

QLayout* TLauncherMainWindow::createTopLinksRow(const QString& launcherVersion)
{
    QLabel* about = createIconLink(LauncherImagePrefix + QStringLiteral("icircle.png"), QStringLiteral("about"),
                                   QStringLiteral("About"));
    about->setOpenExternalLinks(false);
    connect(about, &QLabel::linkActivated, this, &TLauncherMainWindow::onAboutDialogRequested);

    m_downloadSettingsButton = new TIconButton(TIconButton::ESymbol::Gear, 20);
    m_downloadSettingsButton->setToolTip(QStringLiteral("Download settings"));
    m_downloadSettingsButton->hide();
    connect(m_downloadSettingsButton, &QPushButton::clicked, this, &TLauncherMainWindow::openDownloadSettings);

    auto* version = new QLabel(QStringLiteral("v") + launcherVersion);
    version->setStyleSheet(launcherTextRule(QStringLiteral("QLabel"), 11));

    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(m_downloadSettingsButton);
    row->addWidget(about);
    row->addWidget(version);
    return row;
}

QLayout* TLauncherMainWindow::createSocialRow()
{
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(createIconLink(LauncherImagePrefix + QStringLiteral("Twitter.png"), TwitterPage,
                                  QStringLiteral("Follow us on Twitter")));
    row->addWidget(createIconLink(LauncherImagePrefix + QStringLiteral("Discord.png"), DiscordInvite,
                                  QStringLiteral("Follow us on Discord")));
    row->addStretch();
    return row;
}

void TLauncherMainWindow::createHintsBox(QLayout* topLinksRow, QLayout* socialRow)
{
    m_hintsBox = new QGroupBox;
    m_hintsBox->setMinimumWidth(780);
    m_hintsBox->setMaximumWidth(790);
    m_hintsBox->setStyleSheet(
        QStringLiteral("QGroupBox { border-image: url(") + LauncherImagePrefix +
        QStringLiteral("hint-background.png) 5 5 0 5 repeat; border-width: 5px; ") + launcherTextDeclarations(11) +
        QStringLiteral(" }\nQGroupBox::title { color: #DADABC; background-color: transparent; }"));

    m_hintsArea = new THintsArea(m_downloadPool, m_hintsBox);
    m_hintsArea->hide();

    auto* makerLogo = new QLabel;
    makerLogo->setTextFormat(Qt::RichText);
    makerLogo->setText(QStringLiteral("<a href=") + quoted(MakerSite) + QStringLiteral("><img src=") +
                       quoted(LauncherImagePrefix + QStringLiteral("BrelmorLogo.png")) + QStringLiteral("/></a>"));
    makerLogo->setToolTip(MakerSite);
    makerLogo->setOpenExternalLinks(true);
    makerLogo->setCursor(Qt::PointingHandCursor);

    // The negative spacings pull the three rows onto one line: logo left, social links centred, About right.
    auto* content = new QVBoxLayout(m_hintsBox);
    content->addSpacing(8);
    content->addWidget(makerLogo, 0, Qt::AlignLeft);
    content->addSpacing(-22);
    content->addLayout(topLinksRow);
    content->addSpacing(-34);
    content->addLayout(socialRow);
    content->addSpacing(8);
}

void TLauncherMainWindow::fitItemsIntoWindowHeight()
{
    const int rows = (static_cast<int>(m_items.size()) + ItemsPerRow - 1) / ItemsPerRow;
    if (rows <= 1) {
        return;
    }
    if (centralWidget()->sizeHint().height() <= MaximumWindowHeight) {
        return;
    }
    const int naturalSide = m_items.begin()->second->logoLabel()->height();
    for (const auto& entry : m_items) {
        entry.second->setLogoSide(naturalSide);
    }
    // Activating drops the size hints that the nested layouts have cached.
    m_mainLayout->activate();
    const int excess = std::max(0, centralWidget()->sizeHint().height() - MaximumWindowHeight);
    const int side = std::max(MinimumLogoSide, naturalSide - (excess + rows - 1) / rows);
    for (const auto& entry : m_items) {
        entry.second->setLogoSide(side);
    }
}

bool TLauncherMainWindow::hasHintsSpacer() const
{
    return m_spacer && m_mainLayout->indexOf(m_spacer) >= 0;
}

QWidget* TLauncherMainWindow::hintsContainer() const
{
    return m_hintsArea;
}

QWidget* TLauncherMainWindow::hintSlot(int index) const
{
    return m_hintsArea->slot(index);
}

void TLauncherMainWindow::showConnectionProblemMessage()
{
    showNonModalMessage(QStringLiteral("Connection problem"),
                        QStringLiteral("Could not connect to the update service.\n\nPlease try again later.\n"));
}

void TLauncherMainWindow::showNonModalMessage(const QString& title, const QString& text)
{
    if (!m_messageBox) {
        m_messageBox = new QMessageBox(this);
        m_messageBox->setWindowModality(Qt::NonModal);
        m_messageBox->setStandardButtons(QMessageBox::Ok);
    }
    m_messageBox->setWindowTitle(title);
    m_messageBox->setText(text);
    m_messageBox->setIcon(QMessageBox::Critical);
    if (TMessageBoxPresenter::isNonInteractive()) {
        TMessageBoxPresenter::log(title, text);
    }
    m_messageBox->show();
}

QString TLauncherMainWindow::cdnDiagnosticsText()
{
    const QString failedText = QStringLiteral("Failed to obtain information.");
    if (!m_cdnTrace) {
        return failedText;
    }
    if (m_cdnTrace->isReceived()) {
        return QStringLiteral("FL: %1, TS: %2, COLO: %3, IP: %4")
            .arg(m_cdnTrace->fl(), m_cdnTrace->ts(), m_cdnTrace->colo(), m_cdnTrace->ip());
    }
    if (m_cdnTrace->isFailed()) {
        return failedText;
    }
    if (!m_cdnTrace->isRequested()) {
        m_cdnTrace->requestTrace();
    }
    // An unusable trace address fails at once, inside requestTrace.
    return m_cdnTrace->isFailed() ? failedText : QStringLiteral("Loading, please wait...");
}

void TLauncherMainWindow::showDownloadFailedMessage(const QString& packageName)
{
    const QString diagnostics = cdnDiagnosticsText();
    disconnect(m_traceConnection);
    if (m_cdnTrace && m_cdnTrace->isRequested()) {
        m_traceConnection =
            connect(m_cdnTrace.get(), &TCloudflareCdnTrace::diagnosticsTraceReceived, this, [this, packageName](bool) {
                disconnect(m_traceConnection);
                showDownloadFailedMessage(packageName);
            });
    }
    showNonModalMessage(QStringLiteral("Download failed"),
                        QStringLiteral("The installation of %1 failed.\n\nNot all files necessary could be "
                                       "downloaded. Please try again later.\n\nDiagnostic information: %2")
                            .arg(packageName, diagnostics));
}

void TLauncherMainWindow::showInstallationFailedMessage(const QString& text)
{
    TMessageBoxPresenter::show(QMessageBox::Critical, QStringLiteral("Installation failed"), text, QMessageBox::Ok,
                               QMessageBox::NoButton, this);
}

void TLauncherMainWindow::onDefaultClientCheckboxChanged(std::shared_ptr<TPackage> package, bool isDefault)
{
    const int index = package->packageIndex();
    if (isDefault == (m_defaultIndex == index)) {
        return;
    }
    m_defaultIndex = isDefault ? index : -1;
    for (const auto& [itemIndex, item] : m_items) {
        QCheckBox* box = item->defaultClientCheckBox();
        if (itemIndex == index) {
            if (box->isChecked() != isDefault) {
                box->setChecked(isDefault);
            }
        } else if (box->isChecked()) {
            box->setChecked(false);
        }
    }
    emit defaultChanged(package, isDefault);
}

TClientPackageLayoutItem* TLauncherMainWindow::itemFor(const TPackageInstallation& installationInProgress) const
{
    const auto found = m_items.find(installationInProgress.package()->packageIndex());
    Q_ASSERT_X(found != m_items.end(), "TLauncherMainWindow", "installation of a package without an item");
    if (found == m_items.end()) {
        qWarning() << "No item for the package" << installationInProgress.package()->name();
        return nullptr;
    }
    return found->second;
}

void TLauncherMainWindow::onInstallationOrUpdateStarted(const TPackageInstallation& installationInProgress)
{
    if (TClientPackageLayoutItem* item = itemFor(installationInProgress)) {
        item->onInstallationOrUpdateStarted(installationInProgress);
    }
}

void TLauncherMainWindow::onInstallationOrUpdateFinished(const TPackageInstallation& installationInProgress)
{
    const QString name = installationInProgress.package()->name();
    const EPackageDownloaderError reason = installationInProgress.errorReason();
    qInfo().noquote().nospace() << "onInstallationOrUpdateFinished package: " << name
                                << " error reason: " << static_cast<int>(reason)
                                << " Thread: " << QThread::currentThreadId();

    if (TClientPackageLayoutItem* item = itemFor(installationInProgress)) {
        item->onInstallationOrUpdateFinished(installationInProgress);
    }
    switch (reason) {
    case EPackageDownloaderError::DownloadFailed:
        showDownloadFailedMessage(name);
        break;
    case EPackageDownloaderError::SavingFailed:
        showInstallationFailedMessage(
            QStringLiteral("The installation of %1 failed.\n\nMake sure you have enough free disk space and the "
                           "application isn't currently running, then try again.")
                .arg(name));
        break;
    case EPackageDownloaderError::VerificationFailed:
        showInstallationFailedMessage(
            QStringLiteral("The installation of %1 failed.\n\nVerification of game data failed!").arg(name));
        break;
    case EPackageDownloaderError::NotEnoughDiskSpace:
        if (const auto& shortage = installationInProgress.diskSpaceShortage())
            showInstallationFailedMessage(shortage->messageText(name));
        break;
    case EPackageDownloaderError::None:
        break;
    }
}

void TLauncherMainWindow::onAboutDialogRequested()
{
    const QString title = qtTrId("launcher.about.title");
    const QString text = qtTrId("launcher.about.text")
                             .arg(QStringLiteral("2002"), QString::number(QDate::currentDate().year()), LicenceAddress,
                                  LicenceAddress, ToolkitSourceAddress, ToolkitSourceAddress);
    if (TMessageBoxPresenter::isNonInteractive()) {
        TMessageBoxPresenter::log(title, text);
        return;
    }
    QMessageBox box(this);
    box.setWindowTitle(title);
    box.setIcon(QMessageBox::Information);
    box.setTextFormat(Qt::RichText);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse);
    box.setText(text);
    box.exec();
}

void TLauncherMainWindow::setDownloadPreferences(TDownloadPreferences* preferences)
{
    m_downloadPreferences = preferences;
    m_downloadSettingsButton->setVisible(preferences != nullptr);
}

void TLauncherMainWindow::openDownloadSettings()
{
    if (!m_downloadPreferences || m_downloadSettingsDialog)
        return;
    m_downloadSettingsDialog = new TDownloadSettingsDialog(*m_downloadPreferences, this);
    m_downloadSettingsDialog->setAttribute(Qt::WA_DeleteOnClose);
    m_downloadSettingsDialog->open();
    // Centred over the window: without a frame the window manager places nothing.
    m_downloadSettingsDialog->adjustSize();
    m_downloadSettingsDialog->move(geometry().center() - m_downloadSettingsDialog->rect().center());
}

void TLauncherMainWindow::setHints(const std::vector<::shared::THint>& hints)
{
    m_hintsBox->hide();
    if (!hints.empty()) {
        auto* boxLayout = static_cast<QBoxLayout*>(m_hintsBox->layout());
        boxLayout->setContentsMargins(0, 0, 0, 0);
        if (boxLayout->indexOf(m_hintsArea) < 0) {
            boxLayout->insertWidget(0, m_hintsArea);
        }
        m_hintsArea->show();
        // The row shows only as a whole: with a category missing the spacer keeps its place.
        if (m_hintsArea->showHints(hints)) {
            removeHintsSpacer();
        } else {
            m_hintsArea->hide();
        }
    }
    m_hintsBox->show();
}

void TLauncherMainWindow::removeHintsSpacer()
{
    if (hasHintsSpacer()) {
        m_mainLayout->removeItem(m_spacer);
        delete m_spacer;
        m_spacer = nullptr;
    }
}

} // namespace orvan::launcher
