#include "packageitem/TClientPackageLayoutItem.h"

#include "packageitem/LauncherStyle.h"
#include "packageitem/ProgressText.h"

#include "configuration/TPackage.h"
#include "configuration/TPackageConfigurationReader.h"
#include "installation/InstallationMetaTypes.h"
#include "installation/TPackageFileDownloader.h"
#include "installation/TPackageInstallation.h"
#include "installation/TTimeLeftEstimator.h"
#include "widgets/QContextPushButton.h"
#include "widgets/TIconButton.h"

#include <QAction>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QProgressBar>
#include <QSizePolicy>
#include <QSpacerItem>

#include <limits>

namespace orvan::launcher {

namespace {

struct TButtonLook
{
    QString colour;
    QString caption;
    QStringList menuEntries;
};

TButtonLook buttonLookFor(ELocalPackageStatus status)
{
    switch (status) {
    case ELocalPackageStatus::Unknown:
        return {QStringLiteral("Red"), QString(), {}};
    case ELocalPackageStatus::NotInstalled:
        return {QStringLiteral("Blue"), QStringLiteral("Download"), {}};
    case ELocalPackageStatus::PartiallyInstalled:
    case ELocalPackageStatus::UpdateRequired:
        return {QStringLiteral("Orange"), QStringLiteral("Update"), {}};
    case ELocalPackageStatus::Installed:
        break;
    }
    return {QStringLiteral("Green"), QStringLiteral("Play"), {QStringLiteral("Verify")}};
}

/// One button state: the border image of the colour family in that state with the caption's icon on top.
QString buttonStateRule(const QString& selector, const QString& colour, const QString& state, const QString& caption,
                        const QString& extra = QString())
{
    return selector + QStringLiteral(" { border-image: url(") + LauncherImagePrefix + QStringLiteral("Button_") +
           colour + QLatin1Char('_') + state +
           QStringLiteral(".png) 4 4 4 4 repeat scale; border-width: 4px; image: url(") + LauncherImagePrefix +
           QStringLiteral("Icon_") + caption + QStringLiteral(".png);") + extra + QStringLiteral(" }\n");
}

QString buttonStyleSheet(const QString& colour, const QString& caption)
{
    return buttonStateRule(QStringLiteral("QPushButton"), colour, QStringLiteral("idle"), caption) +
           buttonStateRule(QStringLiteral("QPushButton:hover"), colour, QStringLiteral("hover"), caption) +
           // The icon moves by one pixel while the button is held down.
           buttonStateRule(QStringLiteral("QPushButton:pressed"), colour, QStringLiteral("pressed"), caption,
                           QStringLiteral(" padding-top: 1px; padding-left: 1px; padding-bottom: -1px; "
                                          "padding-right: -1px;")) +
           QStringLiteral("QToolTip { border: 1px solid black; background-color: #c0c0c0; padding: 1px; "
                          "font-family: \"Liberation Sans\"; font-variant: small-caps; font-weight: bold; "
                          "font-size: 11px; color: #3F3F3F; }");
}

QString variantPart(const TPackageConfigurationReader* configuration)
{
    if (!configuration) {
        return QStringLiteral("QT");
    }
    if (configuration->generation() == EPackageGeneration::First) {
        return QStringLiteral("Classic");
    }
    switch (configuration->variant()) {
    case EPackageVariant::Preview:
        return QStringLiteral("Preview");
    case EPackageVariant::Beta:
        return QStringLiteral("Beta");
    case EPackageVariant::Test:
        return QStringLiteral("Test");
    default:
        return QStringLiteral("QT");
    }
}

/// A byte count as a progress bar value; counts beyond the bar's int range are scaled down together.
std::pair<int, int> barRangeAndValue(TFileSize done, TFileSize total)
{
    if (total <= static_cast<TFileSize>(std::numeric_limits<int>::max())) {
        return {static_cast<int>(total), static_cast<int>(std::min(done, total))};
    }
    return {ProgressBarScale, progressBarValue(done, total)};
}

constexpr int PauseButtonSide = 17;
const QString PausedText = QStringLiteral("Paused");
constexpr int PauseButtonGap = 2;

} // namespace

TClientPackageLayoutItem::TClientPackageLayoutItem(std::shared_ptr<TPackage> package, bool showPackageName)
    : m_package(std::move(package))
{
    ensureLauncherResources();
    registerInstallationMetaTypes();

    createLogo();
    createButton();
    createProgressBar();
    createPauseControls();
    createTextLines(showPackageName);
    createDefaultClientCheckBox();
    createFrame();

    addWidget(m_logoLabel, 0, Qt::AlignHCenter | Qt::AlignTop);
    addSpacing(6);
    addWidget(m_frame, 0, Qt::AlignHCenter | Qt::AlignTop);

    connect(m_package.get(), &TPackage::localPackageStatusChanged, this,
            &TClientPackageLayoutItem::onLocalPackageStatusChanged);

    m_progressBar->hide();
    m_pauseButton->hide();
    m_actionButton->show();
    updateDefaultClientCheckboxFromPackageStatus();
}

TClientPackageLayoutItem::~TClientPackageLayoutItem()
{
    // Once the item sits in a window its widgets belong to that window; before, they belong to nobody but us.
    if (!m_frame->parent()) {
        delete m_frame;
    }
    if (!m_logoLabel->parent()) {
        delete m_logoLabel;
    }
}

void TClientPackageLayoutItem::createLogo()
{
    m_logoLabel = new QLabel;
    m_logoLabel->setFixedSize(QImageReader(LauncherImagePrefix + QStringLiteral("LauncherLogo_QT.png")).size());
    updatePackageImageFromPackageStatus();
}

void TClientPackageLayoutItem::createButton()
{
    m_actionButton = new QContextPushButton;
    m_actionMenu = new QMenu(m_actionButton);
    m_actionButton->setContextMenu(m_actionMenu);
    m_actionButton->setFixedSize(QImageReader(LauncherImagePrefix + QStringLiteral("Button_Blue_idle.png")).size());
    m_actionButton->setCursor(Qt::PointingHandCursor);
    updateButtonFromPackageStatus();

    connect(m_actionButton, &QPushButton::clicked, this, [this] { emit buttonClicked(m_package); });
    connect(m_actionButton, &QContextPushButton::contextTriggered, this,
            [this](const QString&) { emit verifyButtonClicked(m_package); });
}

void TClientPackageLayoutItem::createProgressBar()
{
    m_progressBar = new QProgressBar;
    m_progressBar->setFixedSize(m_actionButton->size());
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);
    m_progressBar->setTextVisible(true);
    m_progressBar->setStyleSheet(
        QStringLiteral("QProgressBar { border-image: url(") + LauncherImagePrefix +
        QStringLiteral("ProgressBar_BG.png); ") + launcherTextDeclarations(13) +
        QStringLiteral(" text-align: center; border-width: 2px; }\nQProgressBar::chunk { border-image: url(") +
        LauncherImagePrefix + QStringLiteral("ProgressBar.png); }"));
}

void TClientPackageLayoutItem::createPauseControls()
{
    m_pauseButton = new TIconButton(TIconButton::ESymbol::Pause, PauseButtonSide);
    m_pauseMenu = new QMenu(m_pauseButton);
    m_pauseButton->setContextMenu(m_pauseMenu);
    m_progressBar->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(m_progressBar, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& position) { m_pauseMenu->popup(m_progressBar->mapToGlobal(position)); });
    connect(m_pauseButton, &QPushButton::clicked, this, &TClientPackageLayoutItem::requestPauseOrResume);
    connect(m_pauseButton, &QContextPushButton::contextTriggered, this,
            &TClientPackageLayoutItem::requestPauseOrResume);
    onPausedChanged(false);
}

void TClientPackageLayoutItem::requestPauseOrResume()
{
    emit pauseRequested(m_package, !m_paused);
}

void TClientPackageLayoutItem::createTextLines(bool showPackageName)
{
    const QString style = launcherTextRule(QStringLiteral("QLabel"), 13);
    if (showPackageName) {
        m_nameLabel = new QLabel;
        m_nameLabel->setStyleSheet(style);
        m_nameLabel->setAlignment(Qt::AlignCenter);
    }
    m_statusLabel = new QLabel;
    m_statusLabel->setStyleSheet(style);
    m_statusLabel->setAlignment(Qt::AlignCenter);
    updatePackageNameAndVersion();
}

void TClientPackageLayoutItem::createDefaultClientCheckBox()
{
    m_defaultClientCheckBox = new QCheckBox(QStringLiteral("Default Client"));
    QSizePolicy policy = m_defaultClientCheckBox->sizePolicy();
    policy.setRetainSizeWhenHidden(true);
    m_defaultClientCheckBox->setSizePolicy(policy);
    m_defaultClientCheckBox->setCursor(Qt::PointingHandCursor);
    m_defaultClientCheckBox->setStyleSheet(
        launcherTextRule(QStringLiteral("QCheckBox"), 13) +
        QStringLiteral("\nQCheckBox::indicator:unchecked { image: url(") + LauncherImagePrefix +
        QStringLiteral("checkbox-unchecked.png); }\nQCheckBox::indicator:checked { image: url(") + LauncherImagePrefix +
        QStringLiteral("checkbox-checked.png); }"));
    connect(m_defaultClientCheckBox, &QCheckBox::stateChanged, this,
            &TClientPackageLayoutItem::onDefaultClientCheckBoxStateChanged);
}

void TClientPackageLayoutItem::createFrame()
{
    m_frame = new QGroupBox;
    m_frame->setStyleSheet(
        QStringLiteral("QGroupBox { border-image: url(") + LauncherImagePrefix +
        QStringLiteral("clientpackage-background.png) 16 16 16 16 repeat repeat; border-width: 16px; "
                       "padding-top: -6px; padding-left: -2px; padding-bottom: -8px; "
                       "padding-right: -2px; }"));
    auto* content = new QVBoxLayout(m_frame);
    content->setSpacing(0);
    // The row of bar and pause button is centred, not the bar.
    auto* progressRow = new QHBoxLayout;
    progressRow->setSpacing(0);
    progressRow->addWidget(m_progressBar);
    progressRow->addSpacing(PauseButtonGap);
    progressRow->addWidget(m_pauseButton, 0, Qt::AlignVCenter);
    content->addLayout(progressRow);
    content->setAlignment(progressRow, Qt::AlignHCenter);
    // Room for the bar and the pause button at all times, so that the frame does not jump when a run starts.
    content->addSpacerItem(new QSpacerItem(m_actionButton->width() + PauseButtonGap + PauseButtonSide, 0,
                                           QSizePolicy::Fixed, QSizePolicy::Fixed));
    content->addWidget(m_actionButton, 0, Qt::AlignHCenter);
    content->addSpacing(6);
    if (m_nameLabel) {
        content->addWidget(m_nameLabel, 0, Qt::AlignHCenter);
    }
    content->addWidget(m_statusLabel, 0, Qt::AlignHCenter);
    content->addWidget(m_defaultClientCheckBox, 0, Qt::AlignHCenter);
}

QString TClientPackageLayoutItem::logoImagePath() const
{
    const std::shared_ptr<const TPackageConfigurationReader> configuration = m_package->currentConfiguration();
    const bool installed = m_package->localPackageStatus() == ELocalPackageStatus::Installed;
    return LauncherImagePrefix + QStringLiteral("QuenmarLogo_") + variantPart(configuration.get()) +
           (installed ? QString() : QStringLiteral("_disabled")) + QStringLiteral(".png");
}

void TClientPackageLayoutItem::updatePackageImageFromPackageStatus()
{
    const QString path = logoImagePath();
    const QUrl linkTarget = m_package->logoLinkTarget();
    if (linkTarget.isEmpty()) {
        m_logoLabel->setStyleSheet(QStringLiteral("QLabel { image: url(") + path + QStringLiteral("); }"));
    } else {
        m_logoLabel->setTextFormat(Qt::RichText);
        // A style sheet image shrinks to the label by itself; rich text needs the size spelled out.
        const QString size = m_logoSide > 0 ? QStringLiteral(" width=\"%1\" height=\"%1\"").arg(m_logoSide) : QString();
        m_logoLabel->setText(QStringLiteral("<a href=") + QLatin1Char('"') + linkTarget.toString(QUrl::FullyEncoded) +
                             QLatin1Char('"') + QStringLiteral("><img src=") + QLatin1Char('"') + path +
                             QLatin1Char('"') + size + QStringLiteral("></a>"));
        m_logoLabel->setOpenExternalLinks(true);
    }
    m_logoLabel->setToolTip(m_package->name());
}

void TClientPackageLayoutItem::setLogoSide(int side)
{
    m_logoSide = side;
    setSpacing(0);
    m_logoLabel->setFixedSize(side, side);
    updatePackageImageFromPackageStatus();
}

void TClientPackageLayoutItem::updateButtonFromPackageStatus()
{
    const TButtonLook look = buttonLookFor(m_package->localPackageStatus());
    m_buttonColour = look.colour;
    m_actionMenu->clear();
    for (const QString& entry : look.menuEntries) {
        m_actionMenu->addAction(new QAction(entry, m_actionMenu));
    }
    m_actionButton->setToolTip(look.caption);
    m_actionButton->setText(QString());
    m_actionButton->setFixedSize(98, 40);
    m_actionButton->setStyleSheet(buttonStyleSheet(look.colour, look.caption));
}

void TClientPackageLayoutItem::updatePackageNameAndVersion()
{
    if (m_nameLabel) {
        m_nameLabel->setText(m_package->name());
    }
    const std::shared_ptr<const TPackageConfigurationReader> configuration = m_package->currentConfiguration();
    if (!configuration) {
        m_statusLabel->clear();
    } else if (configuration->version().isEmpty()) {
        m_statusLabel->setText(QStringLiteral("?"));
    } else {
        m_statusLabel->setText(configuration->version());
    }
}

void TClientPackageLayoutItem::updateDefaultClientCheckboxFromPackageStatus()
{
    m_defaultClientCheckBox->setVisible(m_package->localPackageStatus() == ELocalPackageStatus::Installed);
}

void TClientPackageLayoutItem::onLocalPackageStatusChanged()
{
    updatePackageImageFromPackageStatus();
    updateButtonFromPackageStatus();
    updatePackageNameAndVersion();
    updateDefaultClientCheckboxFromPackageStatus();
}

void TClientPackageLayoutItem::onInstallationOrUpdateStarted(const TPackageInstallation& installationInProgress)
{
    // Until the downloader has files to fetch both counts are 0, which shows the bar as busy.
    const TFileSize alreadyDownloaded = 0;
    const TFileSize toDownload = 0;
    const auto [maximum, value] = barRangeAndValue(alreadyDownloaded, toDownload);
    m_progressBar->setRange(0, maximum);
    m_progressBar->setValue(value);
    m_progressBar->setFormat(QString());

    connectToInstallation(installationInProgress);
    onPausedChanged(installationInProgress.isPaused());
    showTimeLeft(std::nullopt);
    m_busy = true;
    m_actionButton->hide();
    m_progressBar->show();
    m_pauseButton->show();
}

void TClientPackageLayoutItem::onInstallationOrUpdateFinished(const TPackageInstallation&)
{
    disconnectFromInstallation();
    m_busy = false;
    m_progressBar->hide();
    m_pauseButton->hide();
    onPausedChanged(false);
    showTimeLeft(std::nullopt);
    m_actionButton->show();
    m_progressBar->setValue(0);
    updatePackageImageFromPackageStatus();
    updateButtonFromPackageStatus();
    updatePackageNameAndVersion();
}

void TClientPackageLayoutItem::connectToInstallation(const TPackageInstallation& installationInProgress)
{
    disconnectFromInstallation();
    const TPackageInstallation* installation = &installationInProgress;
    // The phases report from worker threads; queued, they are shown in the order they were sent.
    m_installationConnections.push_back(connect(installation, &TPackageInstallation::scanProgress, this,
                                                &TClientPackageLayoutItem::onScanProgress, Qt::QueuedConnection));
    m_installationConnections.push_back(connect(installation, &TPackageInstallation::writeProgress, this,
                                                &TClientPackageLayoutItem::onWriteProgress, Qt::QueuedConnection));
    m_installationConnections.push_back(connect(installation, &TPackageInstallation::verificationProgress, this,
                                                &TClientPackageLayoutItem::onVerificationProgress,
                                                Qt::QueuedConnection));
    if (const TPackageFileDownloader* downloader = installation->fileDownloader()) {
        m_installationConnections.push_back(connect(
            downloader, &TPackageFileDownloader::progress, this,
            [this, downloader](TFileSize downloaded, TFileSize toDownload, TFileSize written, TFileSize toWrite) {
                const TTransferRate& rate = downloader->downloadRate();
                onDownloadProgress(downloaded, toDownload, written, toWrite,
                                   bytesPerSecondFromRate(rate.count, rate.mean));
                showTimeLeft(downloader->downloadSecondsLeft());
            }));
    }
    m_installationConnections.push_back(
        connect(installation, &TPackageInstallation::pausedChanged, this, &TClientPackageLayoutItem::onPausedChanged));
}

void TClientPackageLayoutItem::disconnectFromInstallation()
{
    for (const QMetaObject::Connection& connection : m_installationConnections) {
        disconnect(connection);
    }
    m_installationConnections.clear();
}

void TClientPackageLayoutItem::onScanProgress(TFileSize bytesDone, TFileSize bytesTotal)
{
    showPhaseProgress(QStringLiteral("Scanning..."), bytesDone, bytesTotal);
}

void TClientPackageLayoutItem::onWriteProgress(TFileSize bytesDone, TFileSize bytesTotal)
{
    showPhaseProgress(QStringLiteral("Writing..."), bytesDone, bytesTotal);
}

void TClientPackageLayoutItem::onVerificationProgress(TFileSize bytesDone, TFileSize bytesTotal)
{
    showPhaseProgress(QStringLiteral("Verifying..."), bytesDone, bytesTotal);
}

void TClientPackageLayoutItem::showPhaseProgress(const QString& text, TFileSize bytesDone, TFileSize bytesTotal)
{
    m_progressBar->setRange(0, ProgressBarScale);
    m_progressBar->setValue(progressBarValue(bytesDone, bytesTotal));
    m_progressBar->setFormat(m_paused ? PausedText : text);
    m_statusLabel->setText(megabytesText(bytesDone, bytesTotal));
    showTimeLeft(std::nullopt);
}

void TClientPackageLayoutItem::onDownloadProgress(TFileSize bytesDownloaded, TFileSize bytesTotalToDownload,
                                                  TFileSize bytesWritten, TFileSize bytesTotalToWrite,
                                                  double bytesPerSecond)
{
    const bool downloading = bytesDownloaded < bytesTotalToDownload;
    const TFileSize done = downloading ? bytesDownloaded : bytesWritten;
    const TFileSize total = downloading ? bytesTotalToDownload : bytesTotalToWrite;
    m_progressBar->setRange(0, ProgressBarScale);
    m_progressBar->setValue(progressBarValue(done, total));
    m_progressBar->setFormat(m_paused      ? PausedText
                             : downloading ? speedText(bytesPerSecond)
                                           : QStringLiteral("Writing..."));
    m_statusLabel->setText(megabytesText(done, total));
}

void TClientPackageLayoutItem::onPausedChanged(bool paused)
{
    const bool wasPaused = m_paused;
    m_paused = paused;
    const QString action = paused ? QStringLiteral("Resume") : QStringLiteral("Pause");
    m_pauseButton->setSymbol(paused ? TIconButton::ESymbol::Resume : TIconButton::ESymbol::Pause);
    m_pauseButton->setToolTip(action);
    m_pauseMenu->clear();
    m_pauseMenu->addAction(new QAction(action, m_pauseMenu));
    if (paused) {
        m_progressBar->setFormat(PausedText);
        showTimeLeft(std::nullopt);
    } else if (wasPaused) {
        // The next progress report brings the phase's own text back.
        m_progressBar->setFormat(QString());
    }
}

void TClientPackageLayoutItem::showTimeLeft(std::optional<qint64> seconds)
{
    m_progressBar->setToolTip(seconds && !m_paused
                                  ? QStringLiteral("Time left: %1").arg(TTimeLeftEstimator::durationText(*seconds))
                                  : QString());
}

void TClientPackageLayoutItem::onDefaultClientCheckBoxStateChanged(int state)
{
    if (state == Qt::Checked) {
        emit defaultChanged(m_package, true);
    } else if (state == Qt::Unchecked) {
        emit defaultChanged(m_package, false);
    }
}

} // namespace orvan::launcher
