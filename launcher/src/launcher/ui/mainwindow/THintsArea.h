#pragma once

#include "randomhints/THint.h"

#include <QByteArray>
#include <QNetworkReply>
#include <QString>
#include <QUrl>
#include <QWidget>

#include <array>
#include <memory>
#include <vector>

class QHBoxLayout;

namespace shared {
class TDownloadPool;
} // namespace shared

namespace orvan::launcher {

/// The row of hint panels in the main window's hints box, one panel per category "cat1", "cat2" and "cat3". A panel
/// that received a hint shows the hint's picture under its text in a slanted frame that lights up while hovered, and
/// opens the hint's link when clicked. Pictures come through the download pool and are put into the panels that
/// still wait for them. GUI thread only.
class THintsArea : public QWidget
{
    Q_OBJECT

public:
    static constexpr int PanelCount = 3;

    explicit THintsArea(std::shared_ptr<::shared::TDownloadPool> downloadPool, QWidget* parent = nullptr);

    /// Fills the panels by category in list order; a later hint of a category fills its panel again, hints of other
    /// categories are ignored. True when each of the three panels received a hint from this list.
    bool showHints(const std::vector<::shared::THint>& hints);
    /// The widget that holds panel index (0 to 2) in the row: the panel, or its frame once filled.
    QWidget* slot(int index) const;

private:
    struct THintPanel
    {
        QWidget* panel = nullptr;
        /// The frame that wraps the panel once it shows a hint; null before.
        QWidget* frame = nullptr;
        /// The panel's text browser before its first hint, the picture label after.
        QWidget* content = nullptr;
        /// The image the panel waits for from the download pool; empty when it waits for none.
        QUrl imageUrl;
    };

    void createPanels();
    void fillPanel(int index, const ::shared::THint& hint);
    /// Asks the download pool for the panel's image; the panel stays without one when imageUrl is not http(s).
    void requestImage(int index, const QString& imageUrl);
    void onImageDownloaded(QUrl url, QByteArray data);
    void onImageFailed(QUrl url, QNetworkReply::NetworkError code, QString errorString);
    void wrapPanel(int index);
    void maskFrame(int index);

    std::shared_ptr<::shared::TDownloadPool> m_downloadPool;
    QHBoxLayout* m_row = nullptr;
    std::array<THintPanel, PanelCount> m_panels{};
};

} // namespace orvan::launcher
