#include "mainwindow/THintsArea.h"

#include "mainwindow/HintFrameMask.h"

#include "network/TDownloadPool.h"
#include "packageitem/LauncherStyle.h"
#include "qtextbrowserwithnetwork/QTextBrowserWithNetwork.h"
#include "qtextbrowserwithnetwork/TInertTextDocument.h"
#include "qtextbrowserwithnetwork/TRichTextResources.h"
#include "widgets/ClickableLabel.h"

#include <QDebug>
#include <QDesktopServices>
#include <QHBoxLayout>
#include <QLabel>
#include <QPixmap>
#include <QTextDocument>
#include <QVBoxLayout>

namespace orvan::launcher {

namespace {

const QSize PanelSize(276, 80);
const QSize FrameSize(286, 84);
const QSize BrowserSize(280, 104);
const QSize ImageSize(290, 80);

const QString Categories[THintsArea::PanelCount] = {QStringLiteral("cat1"), QStringLiteral("cat2"),
                                                    QStringLiteral("cat3")};

QString browserStyleSheet()
{
    const QString images = LauncherImagePrefix;
    return QStringLiteral("QTextBrowser { ") + launcherTextDeclarations(11) +
           QStringLiteral(" border: none; background: transparent; }\n"
                          "QScrollBar:vertical { width: 12px; margin: 12px 0 12px 0; border: none; "
                          "background: url(") +
           images +
           QStringLiteral("scrollbar-texture-vertical.png); }\n"
                          "QScrollBar::handle:vertical { border-image: url(") +
           images +
           QStringLiteral("scrollbar-handle-vertical.png) 6 6 6 6; border-width: 6px; min-height: 12px; }\n"
                          "QScrollBar::sub-line:vertical { height: 12px; subcontrol-position: top; "
                          "subcontrol-origin: margin; border: none; image: url(") +
           images +
           QStringLiteral("scrollbar-buttonup-up.png); }\n"
                          "QScrollBar::sub-line:vertical:pressed { image: url(") +
           images +
           QStringLiteral("scrollbar-buttonup-down.png); }\n"
                          "QScrollBar::add-line:vertical { height: 12px; subcontrol-position: bottom; "
                          "subcontrol-origin: margin; border: none; image: url(") +
           images +
           QStringLiteral("scrollbar-buttondown-up.png); }\n"
                          "QScrollBar::add-line:vertical:pressed { image: url(") +
           images +
           QStringLiteral("scrollbar-buttondown-down.png); }\n"
                          "QScrollBar::add-page:vertical, QScrollBar::sub-page:vertical { background: none; }");
}

/// The hint image in data scaled to cover a panel; a null pixmap when it is no image within the limits.
QPixmap hintPixmap(const QByteArray& data)
{
    const QImage image = ::shared::TRichTextResources::decodeImage(data);
    if (image.isNull()) {
        return {};
    }
    return QPixmap::fromImage(image).scaled(ImageSize, Qt::KeepAspectRatioByExpanding, Qt::SmoothTransformation);
}

/// Hint links come from the network: anything but a web address would have the desktop open a local file or program.
void openWebLink(const QUrl& link)
{
    if (::shared::TRichTextResources::isFetchable(link)) {
        QDesktopServices::openUrl(link);
    }
}

/// Tool tips take text that looks like markup for rich text; a hint link is shown as it is written.
QString plainToolTip(const QString& text)
{
    return Qt::mightBeRichText(text) ? Qt::convertFromPlainText(text, Qt::WhiteSpaceNormal) : text;
}

} // namespace

THintsArea::THintsArea(std::shared_ptr<::shared::TDownloadPool> downloadPool, QWidget* parent)
    : QWidget(parent), m_downloadPool(std::move(downloadPool))
{
    ensureLauncherResources();
    if (m_downloadPool) {
        connect(m_downloadPool.get(), &::shared::TDownloadPool::success, this, &THintsArea::onImageDownloaded);
        connect(m_downloadPool.get(), &::shared::TDownloadPool::failed, this, &THintsArea::onImageFailed);
    }
    createPanels();
}

void THintsArea::createPanels()
{
    m_row = new QHBoxLayout(this);
    m_row->setSpacing(0);
    m_row->setContentsMargins(0, 0, 44, 0);
    for (THintPanel& slot : m_panels) {
        auto* panel = new QWidget;
        panel->setFixedSize(PanelSize);
        auto* browser = new ::shared::QTextBrowserWithNetwork(panel, m_downloadPool);
        browser->setFixedSize(BrowserSize);
        browser->setOpenExternalLinks(true);
        browser->setContextMenuPolicy(Qt::NoContextMenu);
        browser->viewport()->setAutoFillBackground(false);
        browser->document()->setDefaultStyleSheet(QStringLiteral("a { color: #c0c0c0; }"));
        browser->setStyleSheet(browserStyleSheet());
        slot.panel = panel;
        slot.content = browser;
        m_row->addWidget(panel);
    }
}

bool THintsArea::showHints(const std::vector<::shared::THint>& hints)
{
    std::array<bool, PanelCount> filled{};
    for (const ::shared::THint& hint : hints) {
        for (int index = 0; index < PanelCount; ++index) {
            if (hint.category == Categories[index]) {
                fillPanel(index, hint);
                filled[index] = true;
            }
        }
    }
    return filled[0] && filled[1] && filled[2];
}

QWidget* THintsArea::slot(int index) const
{
    const THintPanel& slot = m_panels.at(index);
    return slot.frame ? slot.frame : slot.panel;
}

void THintsArea::fillPanel(int index, const ::shared::THint& hint)
{
    THintPanel& slot = m_panels.at(index);
    QWidget* panel = slot.panel;
    for (QWidget* child : panel->findChildren<QWidget*>(QString(), Qt::FindDirectChildrenOnly)) {
        delete child;
    }

    const QUrl link(hint.url);
    auto openLink = [link] { openWebLink(link); };

    auto* imageLabel = new ClickableLabel(panel);
    imageLabel->setMinimumSize(ImageSize);
    imageLabel->setAlignment(Qt::AlignCenter);
    imageLabel->setGeometry(QRect(
        QPoint((PanelSize.width() - ImageSize.width()) / 2, (PanelSize.height() - ImageSize.height()) / 2), ImageSize));

    auto* caption = new ClickableLabel(panel);
    caption->setGeometry(QRect(QPoint(0, 25), QPoint(279, 79)));
    caption->setWordWrap(true);
    caption->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // Hint texts come from the network: they may format, but not make the label read files.
    caption->setText(::shared::TInertTextDocument::withoutExternalResources(hint.richText));
    caption->setStyleSheet(
        QStringLiteral("QLabel { ") + launcherTextDeclarations(11) +
        QStringLiteral(" padding-left: %1px; background-color: rgba(50, 50, 50, 0.7); }").arg(index == 0 ? 10 : 18));

    for (ClickableLabel* label : {imageLabel, caption}) {
        label->setToolTip(plainToolTip(hint.url));
        label->setCursor(Qt::PointingHandCursor);
        connect(label, &ClickableLabel::clicked, this, openLink);
        label->show();
    }
    slot.content = imageLabel;
    wrapPanel(index);
    maskFrame(index);
    requestImage(index, hint.imageUrl);
}

void THintsArea::requestImage(int index, const QString& imageUrl)
{
    THintPanel& slot = m_panels.at(index);
    slot.imageUrl.clear();
    if (imageUrl.isEmpty()) {
        return;
    }
    const QUrl url(imageUrl);
    if (!::shared::TRichTextResources::isFetchable(url) || !m_downloadPool) {
        qWarning() << "Hint image could not be loaded:" << imageUrl << "is no http or https address";
        return;
    }
    slot.imageUrl = url;
    ::shared::TRichTextResources::requestImage(*m_downloadPool, url);
}

void THintsArea::onImageDownloaded(QUrl url, QByteArray data)
{
    QPixmap image;
    bool decoded = false;
    for (THintPanel& slot : m_panels) {
        if (slot.imageUrl != url) {
            continue;
        }
        if (!decoded) {
            image = hintPixmap(data);
            decoded = true;
            if (image.isNull()) {
                qWarning() << "Hint image could not be loaded:" << url.toString() << "is no image within the limits";
            }
        }
        slot.imageUrl.clear();
        if (auto* label = qobject_cast<QLabel*>(slot.content)) {
            label->setPixmap(image);
        }
    }
}

void THintsArea::onImageFailed(QUrl url, QNetworkReply::NetworkError, QString errorString)
{
    for (THintPanel& slot : m_panels) {
        if (slot.imageUrl == url) {
            qWarning() << "Hint image could not be loaded:" << url.toString() << errorString;
            slot.imageUrl.clear();
        }
    }
}

void THintsArea::wrapPanel(int index)
{
    THintPanel& slot = m_panels.at(index);
    if (slot.frame) {
        return;
    }
    auto* frame = new QWidget;
    frame->setFixedSize(FrameSize);
    frame->setStyleSheet(QStringLiteral("QWidget { background-color: transparent; }") +
                         QStringLiteral("QWidget:hover { background-color: #8ED838; }"));
    delete m_row->replaceWidget(slot.panel, frame);
    auto* frameLayout = new QVBoxLayout(frame);
    frameLayout->setContentsMargins(0, 0, 0, 0);
    frameLayout->setSpacing(0);
    frameLayout->addWidget(slot.panel, 0, Qt::AlignCenter);
    slot.panel->show();
    slot.frame = frame;
}

void THintsArea::maskFrame(int index)
{
    QWidget* frame = m_panels.at(index).frame;
    frame->setMask(hintFrameMask(index, frame->size()));
}

} // namespace orvan::launcher
