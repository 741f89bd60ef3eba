#pragma once

#include "configuration/TFileSize.h"

#include <QMetaObject>
#include <QString>
#include <QVBoxLayout>

#include <memory>
#include <optional>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QMenu;
class QProgressBar;

namespace orvan::launcher {

class QContextPushButton;
class TIconButton;
class TPackage;
class TPackageInstallation;

/// One client package in the main window's grid: its logo, the action button (Download, Update or Play, with
/// Verify in the context menu), the progress bar that replaces the button while the package is installed, updated
/// or verified, the version or progress line, the optional name line and the "Default Client" check box. Turns the
/// package's local state into colours, images and texts, and the user's clicks into signals. GUI thread only.
class TClientPackageLayoutItem : public QVBoxLayout
{
    Q_OBJECT

public:
    /// The package must have a configuration for this platform. The main window gives the item its parent when
    /// it adds it to the grid.
    TClientPackageLayoutItem(std::shared_ptr<TPackage> package, bool showPackageName);
    ~TClientPackageLayoutItem() override;

    const std::shared_ptr<TPackage>& package() const { return m_package; }
    QCheckBox* defaultClientCheckBox() const { return m_defaultClientCheckBox; }
    QLabel* logoLabel() const { return m_logoLabel; }
    /// Null when package names are not shown.
    QLabel* nameLabel() const { return m_nameLabel; }
    QLabel* statusLabel() const { return m_statusLabel; }
    QContextPushButton* actionButton() const { return m_actionButton; }
    QProgressBar* progressBar() const { return m_progressBar; }
    /// Pause or resume beside the progress bar, shown with it; its context menu (also the bar's) offers the same.
    TIconButton* pauseButton() const { return m_pauseButton; }
    QMenu* pauseMenu() const { return m_pauseMenu; }
    /// True while the followed installation is paused.
    bool isPaused() const { return m_paused; }
    /// The framed box below the logo that holds the button, the bar and the text lines.
    QGroupBox* frame() const { return m_frame; }
    /// "Red", "Blue", "Orange" or "Green": the button family the current status selects.
    const QString& buttonColour() const { return m_buttonColour; }
    /// True from onInstallationOrUpdateStarted until onInstallationOrUpdateFinished.
    bool isBusy() const { return m_busy; }

    /// The resource path of the logo for the package's variant and status.
    QString logoImagePath() const;
    /// Shows the logo as a square of Side pixels instead of the artwork's own size and closes up the gap between the
    /// logo and the frame, for windows with more than one row of items.
    void setLogoSide(int side);

signals:
    // NOLINTBEGIN(readability-identifier-naming)
    void defaultChanged(std::shared_ptr<TPackage> pPackage, bool IsDefault);
    void buttonClicked(std::shared_ptr<TPackage> pPackage);
    void verifyButtonClicked(std::shared_ptr<TPackage> pPackage);
    /// The player asked to pause (Pause true) or resume the package's running installation.
    void pauseRequested(std::shared_ptr<TPackage> pPackage, bool Pause);
    // NOLINTEND(readability-identifier-naming)

public slots:
    /// Swaps the button for the progress bar and follows the installation's progress until it finishes.
    void onInstallationOrUpdateStarted(const TPackageInstallation& installationInProgress);
    /// Stops following the installation and returns to the idle view for the package's current status.
    void onInstallationOrUpdateFinished(const TPackageInstallation& installationInProgress);
    void onLocalPackageStatusChanged();
    void updatePackageNameAndVersion();
    void updatePackageImageFromPackageStatus();
    void updateButtonFromPackageStatus();
    void updateDefaultClientCheckboxFromPackageStatus();

    /// Progress of the scan that compares the installed files with the offered ones.
    void onScanProgress(TFileSize bytesDone, TFileSize bytesTotal);
    void onWriteProgress(TFileSize bytesDone, TFileSize bytesTotal);
    void onVerificationProgress(TFileSize bytesDone, TFileSize bytesTotal);
    /// Progress of the package file downloader with its current speed: the download phase shows the speed, the
    /// write phase (everything downloaded) "Writing...".
    void onDownloadProgress(TFileSize bytesDownloaded, TFileSize bytesTotalToDownload, TFileSize bytesWritten,
                            TFileSize bytesTotalToWrite, double bytesPerSecond);
    /// Shows "Paused" instead of the phase text and offers resume, or back.
    void onPausedChanged(bool paused);
    /// The bar's tooltip: the estimated time left, or none while unknown.
    void showTimeLeft(std::optional<qint64> seconds);

private:
    void createLogo();
    void createButton();
    void createProgressBar();
    void createPauseControls();
    void requestPauseOrResume();
    void createTextLines(bool showPackageName);
    void createDefaultClientCheckBox();
    void createFrame();
    /// Connects the progress signals of installationInProgress (and of its downloader) to this item.
    void connectToInstallation(const TPackageInstallation& installationInProgress);
    void disconnectFromInstallation();
    void showPhaseProgress(const QString& text, TFileSize bytesDone, TFileSize bytesTotal);
    void onDefaultClientCheckBoxStateChanged(int state);

    std::shared_ptr<TPackage> m_package;
    QCheckBox* m_defaultClientCheckBox = nullptr;
    QLabel* m_logoLabel = nullptr;
    QLabel* m_nameLabel = nullptr;
    QLabel* m_statusLabel = nullptr;
    QContextPushButton* m_actionButton = nullptr;
    QMenu* m_actionMenu = nullptr;
    QProgressBar* m_progressBar = nullptr;
    TIconButton* m_pauseButton = nullptr;
    QMenu* m_pauseMenu = nullptr;
    bool m_paused = false;
    QGroupBox* m_frame = nullptr;
    QString m_buttonColour;
    // 0 while the logo has the artwork's own size.
    int m_logoSide = 0;
    bool m_busy = false;
    std::vector<QMetaObject::Connection> m_installationConnections;
};

} // namespace orvan::launcher
