#include "TPreviewScene.h"

#include "QuenmarVersion.h"
#include "cdntrace/TCloudflareCdnTrace.h"
#include "configuration/TPackage.h"
#include "configuration/TPackageConfigurationReader.h"
#include "installation/TPackageInstallation.h"
#include "mainwindow/TLauncherMainWindow.h"
#include "network/QNetworkAccessManagerWrapper.h"
#include "network/TDownloadPool.h"
#include "packageitem/TClientPackageLayoutItem.h"
#include "settings/TDownloadPreferences.h"
#include "settings/TLauncherFilesystemHelper.h"

#include <QFont>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLinearGradient>
#include <QNetworkAccessManager>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>
#include <QUrl>

namespace orvan::launcher {

namespace {

struct TDemoPackage
{
    const char* name;
    const char* generation;
    const char* variant;
    const char* version;
    ELocalPackageStatus status;
};

// Indices 0 to 3 show the four states side by side; the fifth starts the second row.
const TDemoPackage DemoPackages[] = {
    {"Quenmar Online", "second", "regular", "2.14.0", ELocalPackageStatus::Installed},
    {"Quenmar Classic", "first", "regular", "1.9.3", ELocalPackageStatus::UpdateRequired},
    {"Quenmar Preview", "second", "preview", "2.15.0-rc1", ELocalPackageStatus::UpdateRequired},
    {"Quenmar Beta", "second", "beta", "2.16.0-b4", ELocalPackageStatus::NotInstalled},
    {"Quenmar Test", "second", "test", "2.17.0-t1", ELocalPackageStatus::Installed},
};
constexpr int InstallingPackage = 2;

/// A small landscape picture in the artwork's night palette, with a hue per hint.
QImage drawHintPicture(const QColor& sky, const QColor& glow, int seed)
{
    QImage image(580, 160, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QLinearGradient gradient(0, 0, 0, image.height());
    gradient.setColorAt(0, sky.darker(260));
    gradient.setColorAt(1, sky);
    painter.fillRect(image.rect(), gradient);
    QRadialGradient halo(QPointF(420 - seed * 90, 50), 120);
    halo.setColorAt(0, glow);
    halo.setColorAt(1, Qt::transparent);
    painter.fillRect(image.rect(), halo);
    for (int layer = 0; layer < 2; ++layer) {
        QPainterPath ridge(QPointF(0, image.height()));
        for (int x = 0; x <= image.width(); x += 20) {
            const int wave = ((x * (7 + seed + layer * 3)) % 53) - 26;
            ridge.lineTo(x, 95 + layer * 25 + wave);
        }
        ridge.lineTo(image.width(), image.height());
        ridge.closeSubpath();
        painter.fillPath(ridge, QColor(10, 14, 26, layer == 0 ? 170 : 255));
    }
    return image;
}

} // namespace

TPreviewScene::TPreviewScene(int packageCount, bool showPackageNames)
    : m_helper(std::make_shared<TLauncherFilesystemHelper>(QStringLiteral(":/settings/launchersettings.ini")))
{
    auto manager = std::make_shared<::shared::QNetworkAccessManagerWrapper>(std::make_shared<QNetworkAccessManager>());
    m_downloadPool = std::make_shared<::shared::TDownloadPool>(4, manager, true);
    m_cdnTrace = std::make_shared<TCloudflareCdnTrace>(m_downloadPool, QUrl());
    for (int index = 0; index < packageCount; ++index) {
        m_packages.push_back(createPackage(index));
    }
    m_window = std::make_unique<TLauncherMainWindow>(m_packages, nullptr, m_downloadPool, m_cdnTrace, showPackageNames,
                                                     QStringLiteral(QUENMAR_VERSION));
    m_window->setDefaultIndex(0);
    m_downloadPreferences = std::make_unique<TDownloadPreferences>(0, 8);
    m_window->setDownloadPreferences(m_downloadPreferences.get());
    startDemoInstallation();
}

void TPreviewScene::pauseInstallation()
{
    if (m_installation) {
        m_installation->pause();
    }
}

TPreviewScene::~TPreviewScene() = default;

std::shared_ptr<TPackage> TPreviewScene::createPackage(int index)
{
    const TDemoPackage& demo = DemoPackages[index % std::size(DemoPackages)];
    const QJsonObject build{{"os", "linux"}, {"architecture", "x86_64"}, {"url", "package.json"}};
    const QJsonObject object{{"name", demo.name}, {"builds", QJsonArray{build}}};
    auto package = std::make_shared<TPackage>(index, object, QUrl(QStringLiteral("https://demo.invalid/")));
    const QJsonObject document{{"version", demo.version}, {"generation", demo.generation}, {"variant", demo.variant}};
    package->builds().front()->setConfiguration(std::make_shared<TPackageConfigurationReader>(
        QJsonDocument(document).toJson(), QByteArray(), package->builds().front()->url(), QUrl()));
    package->setIsDefault(index == 0);
    package->setLocalPackageStatus(demo.status);
    return package;
}

void TPreviewScene::startDemoInstallation()
{
    if (m_packages.size() <= InstallingPackage) {
        return;
    }
    m_installation = std::make_shared<TPackageInstallation>(m_packages[InstallingPackage], m_helper);
    m_window->onInstallationOrUpdateStarted(*m_installation);
    // 3.2 MB/s, 873 of 1 450 MB fetched.
    TClientPackageLayoutItem* item = m_window->items().at(InstallingPackage);
    item->onDownloadProgress(873400000, 1450000000, 851200000, 1512000000, 3210000.0);
}

std::vector<::shared::THint> TPreviewScene::createHints() const
{
    struct TDemoHint
    {
        const char* category;
        const char* text;
        QColor sky;
        QColor glow;
    };
    const TDemoHint demos[] = {
        {"cat1", "<b>Season of Embers</b><br>New raids and the Ashen Crown arrive on Friday.", QColor(120, 60, 40),
         QColor(255, 170, 80, 200)},
        {"cat2", "<b>Patch 2.14</b><br>Faster loading and a reworked guild hall.", QColor(40, 70, 120),
         QColor(170, 200, 255, 180)},
        {"cat3", "<b>Tip</b><br>Hold Shift to compare an item with the one you wear.", QColor(50, 100, 70),
         QColor(190, 255, 170, 160)},
    };
    std::vector<::shared::THint> hints;
    int seed = 0;
    for (const TDemoHint& demo : demos) {
        const QString path = m_imageDirectory.filePath(QStringLiteral("%1.png").arg(demo.category));
        drawHintPicture(demo.sky, demo.glow, seed++).save(path);
        ::shared::THint hint;
        hint.category = QString::fromLatin1(demo.category);
        hint.richText = QString::fromUtf8(demo.text);
        hint.imageUrl = QUrl::fromLocalFile(path).toString();
        hint.url = QStringLiteral("https://www.brelmor.de/quenmar/news");
        hints.push_back(hint);
    }
    return hints;
}

void TPreviewScene::showHints()
{
    m_window->setHints(createHints());
}

} // namespace orvan::launcher
