#pragma once

#include "mainwindow/THintsArea.h"
#include "randomhints/THint.h"
#include "settingsdialog/TDownloadSettingsDialog.h"
#include "widgets/TDraggableMainWindow.h"

#include <QMessageBox>
#include <QPointer>
#include <QString>

#include <map>
#include <memory>
#include <vector>

class QGroupBox;
class QLabel;
class QSpacerItem;
class QVBoxLayout;
class QWidget;

namespace shared {
class TDownloadPool;
} // namespace shared

namespace orvan::launcher {

class TClientPackageLayoutItem;
class TCloudflareCdnTrace;
class TDownloadPreferences;
class TIconButton;
class TLauncherConfigurationReader;
class TPackage;
class TPackageInstallation;

/// The launcher's main window: one item per client package in a grid of four columns, the hints area with up to
/// three news and tip panels, the maker logo, the About link, the launcher version and the social links. Shows the
/// error boxes about installations and forwards the user's choices (start or install, verify, default client) as
/// signals. GUI thread only.
class TLauncherMainWindow : public TDraggableMainWindow
{
    Q_OBJECT

public:
    static constexpr int ItemsPerRow = 4;
    static constexpr int HintPanelCount = THintsArea::PanelCount;

    /// Builds the window for platformPackages (each with a configuration for this platform), in their order.
    TLauncherMainWindow(const std::vector<std::shared_ptr<TPackage>>& platformPackages,
                        std::shared_ptr<TLauncherConfigurationReader> mainConfiguration,
                        std::shared_ptr<::shared::TDownloadPool> downloadPool,
                        std::shared_ptr<TCloudflareCdnTrace> cdnTrace, bool showPackageNames,
                        const QString& launcherVersion, QWidget* parent = nullptr);
    ~TLauncherMainWindow() override;

    /// The items by packageIndex.
    const std::map<int, TClientPackageLayoutItem*>& items() const { return m_items; }
    /// The packageIndex of the default package, -1 for none.
    int defaultIndex() const { return m_defaultIndex; }
    /// Records the default package chosen elsewhere (the installation manager); the check boxes are not touched.
    void setDefaultIndex(int defaultIndex) { m_defaultIndex = defaultIndex; }

    QGroupBox* hintsBox() const { return m_hintsBox; }
    /// The row of hint panels (a THintsArea); hidden until a hints list fills all three panels.
    QWidget* hintsContainer() const;
    /// True while the spacer that stands in for a full row of hint panels is part of the layout.
    bool hasHintsSpacer() const;
    /// The non-modal box reused for "Connection problem" and "Download failed"; null until first used.
    QMessageBox* messageBox() const { return m_messageBox; }
    /// The widget that holds hint panel Index (0 to 2) in the hints row: the panel, or its frame once filled.
    QWidget* hintSlot(int index) const;

    /// Shows the "Download failed" box for packageName with the CDN diagnostics, which are requested when needed
    /// and replace the waiting text in the same box when they arrive.
    void showDownloadFailedMessage(const QString& packageName);

    /// The preferences the gear button in the footer edits; the button shows only once they are set.
    void setDownloadPreferences(TDownloadPreferences* preferences);
    TIconButton* downloadSettingsButton() const { return m_downloadSettingsButton; }
    /// The open settings dialog, or null.
    TDownloadSettingsDialog* downloadSettingsDialog() const { return m_downloadSettingsDialog; }

signals:
    // NOLINTBEGIN(readability-identifier-naming)
    void defaultChanged(std::shared_ptr<TPackage> pPackage, bool IsDefault);
    void clientPackageButtonClicked(std::shared_ptr<TPackage> pPackage);
    void clientPackageVerifyButtonClicked(std::shared_ptr<TPackage> pPackage);
    /// The player asked to pause (Pause true) or resume the running installation of the package.
    void clientPackagePauseRequested(std::shared_ptr<TPackage> pPackage, bool Pause);
    // NOLINTEND(readability-identifier-naming)

public slots:
    /// Fills the hint panels by category ("cat1" to "cat3"); the row of panels is shown only when all three are
    /// filled, and then takes the place of the spacer.
    void setHints(const std::vector<::shared::THint>& hints);
    /// Keeps at most one "Default Client" box checked and reports the change.
    void onDefaultClientCheckboxChanged(std::shared_ptr<TPackage> package, bool isDefault);
    void onInstallationOrUpdateStarted(const TPackageInstallation& installationInProgress);
    /// Returns the package's item to its idle view and reports a failure by its reason.
    void onInstallationOrUpdateFinished(const TPackageInstallation& installationInProgress);
    void onAboutDialogRequested();
    /// Opens the download settings over the window (one at a time).
    void openDownloadSettings();

private:
    void setUpWindow();
    QLayout* createPackageRow(const std::vector<std::shared_ptr<TPackage>>& platformPackages, bool showPackageNames);
    QLayout* createTopLinksRow(const QString& launcherVersion);
    QLayout* createSocialRow();
    void createHintsBox(QLayout* topLinksRow, QLayout* socialRow);
    /// With more than one row of items, shrinks the logos so that every row fits into the highest window.
    void fitItemsIntoWindowHeight();
    void showConnectionProblemMessage();
    /// The reused non-modal box with the given title, text and the critical icon, shown at once.
    void showNonModalMessage(const QString& title, const QString& text);
    QString cdnDiagnosticsText();
    void showInstallationFailedMessage(const QString& text);
    void removeHintsSpacer();
    TClientPackageLayoutItem* itemFor(const TPackageInstallation& installationInProgress) const;

    std::shared_ptr<TLauncherConfigurationReader> m_mainConfiguration;
    std::map<int, TClientPackageLayoutItem*> m_items;
    QSpacerItem* m_spacer = nullptr;
    QVBoxLayout* m_mainLayout = nullptr;
    THintsArea* m_hintsArea = nullptr;
    QGroupBox* m_hintsBox = nullptr;
    QMessageBox* m_messageBox = nullptr;
    int m_defaultIndex = -1;
    std::shared_ptr<::shared::TDownloadPool> m_downloadPool;
    std::shared_ptr<TCloudflareCdnTrace> m_cdnTrace;
    // Waits for the CDN trace on behalf of the "Download failed" box; one at a time.
    QMetaObject::Connection m_traceConnection;
    QPointer<TDownloadPreferences> m_downloadPreferences;
    TIconButton* m_downloadSettingsButton = nullptr;
    QPointer<TDownloadSettingsDialog> m_downloadSettingsDialog;
};

} // namespace orvan::launcher
