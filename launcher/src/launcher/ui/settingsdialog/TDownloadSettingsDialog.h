#pragma once

#include <QDialog>
#include <QPointer>

class QDoubleSpinBox;
class QPushButton;
class QSpinBox;

namespace orvan::launcher {

class TDownloadPreferences;

/// The player's download settings in the window's style: a download limit in MB/s (decimal
/// megabytes, 0 = none) and the number of parallel downloads. OK stores what changed in the
/// preferences, Cancel nothing; Defaults shows the publisher's defaults, which OK then restores.
/// GUI thread only.
class TDownloadSettingsDialog : public QDialog
{
    Q_OBJECT

public:
    TDownloadSettingsDialog(TDownloadPreferences& preferences, QWidget* parent = nullptr);

    QDoubleSpinBox* rateBox() const { return m_rateBox; }
    QSpinBox* parallelDownloadsBox() const { return m_parallelDownloadsBox; }
    QPushButton* okButton() const { return m_okButton; }
    QPushButton* cancelButton() const { return m_cancelButton; }
    QPushButton* defaultsButton() const { return m_defaultsButton; }

    /// Bytes per second for a limit in MB/s (1 MB = 1,000,000 bytes), and back.
    static qint64 bytesPerSecond(double megabytesPerSecond);
    static double megabytesPerSecond(qint64 bytesPerSecond);

public slots:
    void accept() override;

private:
    void createFields();
    void createButtons();
    void showValues(qint64 rate, int parallelDownloads);
    void showDefaults();

    QPointer<TDownloadPreferences> m_preferences;
    QDoubleSpinBox* m_rateBox = nullptr;
    QSpinBox* m_parallelDownloadsBox = nullptr;
    QPushButton* m_okButton = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QPushButton* m_defaultsButton = nullptr;
    /// The values shown when the dialog opened: a field left at them changes nothing.
    double m_shownRate = 0.0;
    int m_shownParallelDownloads = 0;
    /// Set by Defaults, cleared by any later edit: OK then forgets the player's choice.
    bool m_defaultsChosen = false;
};

} // namespace orvan::launcher
