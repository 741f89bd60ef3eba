#include "settingsdialog/TDownloadSettingsDialog.h"

#include "packageitem/LauncherStyle.h"
#include "settings/TDownloadPreferences.h"

#include <QDoubleSpinBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <cmath>

namespace orvan::launcher {

namespace {

constexpr double BytesPerMegabyte = 1000000.0;
constexpr int RateDecimals = 1;

QString dialogStyleSheet()
{
    return QStringLiteral("QDialog { border-image: url(") + LauncherImagePrefix +
           QStringLiteral("clientpackage-background.png) 16 16 16 16 repeat repeat; border-width: 16px; }\n") +
           launcherTextRule(QStringLiteral("QLabel"), 13) + QLatin1Char('\n') +
           launcherTextRule(QStringLiteral("QLabel#title"), 17) + QLatin1Char('\n') +
           QStringLiteral("QSpinBox, QDoubleSpinBox { background-color: #05070c; border: 1px solid #7a5318; "
                          "border-radius: 3px; padding: 3px 6px; selection-background-color: #c98f2a; "
                          "selection-color: #0b0f1a; ") +
           launcherTextDeclarations(13) +
           QStringLiteral(" }\nQSpinBox:focus, QDoubleSpinBox:focus { border-color: #f0d590; }");
}

/// The launcher's button artwork of one colour family, stretched around a text caption.
QString buttonStyleSheet(const QString& colour)
{
    const QString image = QStringLiteral("border-image: url(") + LauncherImagePrefix + QStringLiteral("Button_") +
                          colour + QLatin1Char('_');
    return QStringLiteral("QPushButton { ") + image +
           QStringLiteral("idle.png) 4 4 4 4 repeat scale; border-width: 4px; min-width: 72px; min-height: 24px; "
                          "padding: 2px 8px; ") +
           launcherTextDeclarations(13) + QStringLiteral(" }\nQPushButton:hover { ") + image +
           QStringLiteral("hover.png) 4 4 4 4 repeat scale; }\nQPushButton:pressed { ") + image +
           QStringLiteral("pressed.png) 4 4 4 4 repeat scale; padding-top: 3px; padding-left: 9px; }");
}

QPushButton* createButton(const QString& text, const QString& colour)
{
    auto* button = new QPushButton(text);
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(buttonStyleSheet(colour));
    return button;
}

} // namespace

TDownloadSettingsDialog::TDownloadSettingsDialog(TDownloadPreferences& preferences, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), m_preferences(&preferences)
{
    ensureLauncherResources();
    setWindowTitle(QStringLiteral("Download settings"));
    setModal(true);
    setStyleSheet(dialogStyleSheet());
    createFields();
    createButtons();
    showValues(preferences.maxDownloadRate(), preferences.maxConcurrentDownloads());
    m_shownRate = m_rateBox->value();
    m_shownParallelDownloads = m_parallelDownloadsBox->value();
    m_defaultsChosen = false;
}

qint64 TDownloadSettingsDialog::bytesPerSecond(double megabytesPerSecond)
{
    return static_cast<qint64>(std::llround(megabytesPerSecond * BytesPerMegabyte));
}

double TDownloadSettingsDialog::megabytesPerSecond(qint64 bytesPerSecond)
{
    return static_cast<double>(bytesPerSecond) / BytesPerMegabyte;
}

void TDownloadSettingsDialog::createFields()
{
    auto* title = new QLabel(QStringLiteral("Download settings"));
    title->setObjectName(QStringLiteral("title"));

    m_rateBox = new QDoubleSpinBox;
    m_rateBox->setDecimals(RateDecimals);
    // Below a tenth of a megabyte per second a limit would show as none.
    m_rateBox->setRange(0.0, std::floor(megabytesPerSecond(TDownloadPreferences::MaxRateBytesPerSecond)));
    m_rateBox->setSuffix(QStringLiteral(" MB/s"));
    m_rateBox->setSpecialValueText(QStringLiteral("No limit"));
    m_rateBox->setAlignment(Qt::AlignRight);
    m_rateBox->setToolTip(QStringLiteral("0 for no limit"));

    m_parallelDownloadsBox = new QSpinBox;
    m_parallelDownloadsBox->setRange(TDownloadPreferences::MinParallelDownloads,
                                     TDownloadPreferences::MaxParallelDownloads);
    m_parallelDownloadsBox->setAlignment(Qt::AlignRight);

    for (QAbstractSpinBox* box :
         {static_cast<QAbstractSpinBox*>(m_rateBox), static_cast<QAbstractSpinBox*>(m_parallelDownloadsBox)}) {
        box->setButtonSymbols(QAbstractSpinBox::NoButtons);
        box->setMinimumWidth(120);
    }
    connect(m_rateBox, qOverload<double>(&QDoubleSpinBox::valueChanged), this, [this] { m_defaultsChosen = false; });
    connect(m_parallelDownloadsBox, qOverload<int>(&QSpinBox::valueChanged), this,
            [this] { m_defaultsChosen = false; });

    auto* fields = new QGridLayout;
    fields->setHorizontalSpacing(16);
    fields->setVerticalSpacing(10);
    fields->addWidget(new QLabel(QStringLiteral("Download limit")), 0, 0);
    fields->addWidget(m_rateBox, 0, 1);
    fields->addWidget(new QLabel(QStringLiteral("Parallel downloads")), 1, 0);
    fields->addWidget(m_parallelDownloadsBox, 1, 1);

    auto* content = new QVBoxLayout(this);
    content->setContentsMargins(10, 6, 10, 8);
    content->addWidget(title, 0, Qt::AlignHCenter);
    content->addSpacing(10);
    content->addLayout(fields);
    content->addSpacing(14);
}

void TDownloadSettingsDialog::createButtons()
{
    m_defaultsButton = createButton(QStringLiteral("Defaults"), QStringLiteral("Orange"));
    m_cancelButton = createButton(QStringLiteral("Cancel"), QStringLiteral("Blue"));
    m_okButton = createButton(QStringLiteral("OK"), QStringLiteral("Green"));
    m_okButton->setDefault(true);
    connect(m_defaultsButton, &QPushButton::clicked, this, &TDownloadSettingsDialog::showDefaults);
    connect(m_cancelButton, &QPushButton::clicked, this, &QDialog::reject);
    connect(m_okButton, &QPushButton::clicked, this, &QDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(m_defaultsButton);
    row->addStretch(1);
    row->addWidget(m_cancelButton);
    row->addWidget(m_okButton);
    static_cast<QVBoxLayout*>(layout())->addLayout(row);
}

void TDownloadSettingsDialog::showValues(qint64 rate, int parallelDownloads)
{
    m_rateBox->setValue(megabytesPerSecond(rate));
    m_parallelDownloadsBox->setValue(parallelDownloads);
}

void TDownloadSettingsDialog::showDefaults()
{
    if (!m_preferences)
        return;
    showValues(m_preferences->defaultMaxDownloadRate(), m_preferences->defaultMaxConcurrentDownloads());
    m_defaultsChosen = true;
}

void TDownloadSettingsDialog::accept()
{
    // Typed text that was not confirmed with Enter counts as well.
    m_rateBox->interpretText();
    m_parallelDownloadsBox->interpretText();
    if (m_preferences) {
        if (m_defaultsChosen) {
            m_preferences->resetToDefaults();
        } else {
            if (m_rateBox->value() != m_shownRate)
                m_preferences->setMaxDownloadRate(bytesPerSecond(m_rateBox->value()));
            if (m_parallelDownloadsBox->value() != m_shownParallelDownloads)
                m_preferences->setMaxConcurrentDownloads(m_parallelDownloadsBox->value());
        }
    }
    QDialog::accept();
}

} // namespace orvan::launcher
