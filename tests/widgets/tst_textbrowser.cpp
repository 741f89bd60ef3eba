#include "network/QNetworkAccessManagerWrapper.h"
#include "network/TDownloadPool.h"
#include "qtextbrowserwithnetwork/QTextBrowserWithNetwork.h"
#include "qtextbrowserwithnetwork/TInertTextDocument.h"
#include "qtextbrowserwithnetwork/TRichTextResources.h"
#include "support/TTestHttpServer.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextCursor>
#include <QTextDocument>

#include <memory>

using shared::QNetworkAccessManagerWrapper;
using shared::QTextBrowserWithNetwork;
using shared::TDownloadPool;
using shared::TInertTextDocument;
using shared::TRichTextResources;
using testsupport::TTestHttpResponse;
using testsupport::TTestHttpServer;

namespace {

const QColor ImageColour(200, 30, 40);

std::shared_ptr<TDownloadPool> makePool()
{
    auto manager = std::make_shared<QNetworkAccessManagerWrapper>(std::make_shared<QNetworkAccessManager>());
    return std::make_shared<TDownloadPool>(4, manager, true);
}

QByteArray pngOf(const QSize& size, const QColor& colour)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return data;
}

/// How many pixels of the browser's rendered viewport have exactly this colour.
int pixelsOfColour(QTextBrowserWithNetwork& browser, const QColor& colour)
{
    const QImage shot = browser.viewport()->grab().toImage().convertToFormat(QImage::Format_RGB32);
    int count = 0;
    for (int y = 0; y < shot.height(); ++y) {
        for (int x = 0; x < shot.width(); ++x) {
            count += shot.pixelColor(x, y) == colour ? 1 : 0;
        }
    }
    return count;
}

QString imageHtml(const QString& source)
{
    return QStringLiteral("<p><img src=\"%1\"/> news</p>").arg(source);
}

/// A coloured image file in Directory and the same picture as a data: address, for rich text that must not read them.
struct TLocalImages
{
    explicit TLocalImages(const QTemporaryDir& directory)
    {
        const QByteArray png = pngOf(QSize(10, 8), ImageColour);
        QFile file(directory.filePath("local.png"));
        file.open(QIODevice::WriteOnly);
        file.write(png);
        fileUrl = QUrl::fromLocalFile(file.fileName()).toString();
        dataUrl = QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png.toBase64());
    }

    /// Html with the placeholders %file, %data and %server filled in.
    QString fill(QString html, const QUrl& server) const
    {
        return html.replace("%file", fileUrl).replace("%data", dataUrl).replace("%server", server.toString());
    }

    QString fileUrl;
    QString dataUrl;
};

struct TCapturedMessage
{
    QtMsgType type;
    QString file;
    QString function;
    QString text;
};
QList<TCapturedMessage> capturedMessages;

void captureMessage(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    capturedMessages.append({type, QString::fromUtf8(context.file), QString::fromUtf8(context.function), text});
}

} // namespace

class TTextBrowserTest : public QObject
{
    Q_OBJECT

private slots:
    void networkImageShowsPlaceholderThenRealImage_data();
    void networkImageShowsPlaceholderThenRealImage();
    void nothingButNetworkImagesAndArtworkIsLoaded_data();
    void nothingButNetworkImagesAndArtworkIsLoaded();
    void imagesBeyondTheLimitsKeepThePlaceholder_data();
    void imagesBeyondTheLimitsKeepThePlaceholder();
    void inertHtmlKeepsFormattingAndDropsResources_data();
    void inertHtmlKeepsFormattingAndDropsResources();
    void markupThatStillLoadsKeepsItsText();
    void failedDownloadWarnsAndKeepsPlaceholder();
    void deliveriesForOtherUrlsAreKeptForLaterUse();

private:
    TTestHttpServer m_server;
};

void TTextBrowserTest::networkImageShowsPlaceholderThenRealImage_data()
{
    QTest::addColumn<QString>("path");
    QTest::newRow("plain path") << "/hints/banner.png";
    QTest::newRow("with query") << "/hints/banner.png?v=3&lang=en";
}

void TTextBrowserTest::networkImageShowsPlaceholderThenRealImage()
{
    QFETCH(QString, path);
    m_server.clearLog();
    m_server.setResponse(path, TTestHttpResponse().body(pngOf(QSize(48, 20), ImageColour), "image/png").held());
    const QUrl url = m_server.url(path);
    QTextBrowserWithNetwork browser(nullptr, makePool());
    browser.resize(280, 104);
    browser.setHtml(imageHtml(url.toString()));
    browser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&browser));

    // Until the pool delivers, the image is a transparent 32 x 32 area and repeated layouts ask only once.
    QTRY_COMPARE(m_server.heldCount(), 1);
    const QVariant placeholder = browser.loadResource(QTextDocument::ImageResource, url);
    QCOMPARE(placeholder.userType(), int(QMetaType::QImage));
    const QImage image = placeholder.value<QImage>();
    QCOMPARE(image.size(), QSize(32, 32));
    QCOMPARE(image.format(), QImage::Format_ARGB32_Premultiplied);
    QCOMPARE(qAlpha(image.pixel(0, 0)), 0);
    QCOMPARE(qAlpha(image.pixel(31, 31)), 0);
    QCOMPARE(pixelsOfColour(browser, ImageColour), 0);
    browser.setHtml(browser.toHtml());
    browser.repaint();
    QCOMPARE(m_server.requestCount(), 1);

    QCOMPARE(m_server.releaseHeld(), 1);
    QTRY_COMPARE(pixelsOfColour(browser, ImageColour), 48 * 20);
    QCOMPARE(m_server.requestCount(), 1);
}

void TTextBrowserTest::nothingButNetworkImagesAndArtworkIsLoaded_data()
{
    QTest::addColumn<QString>("html");
    QTest::newRow("device file") << "<p><img src=\"/dev/zero\"/> news</p>";
    QTest::newRow("file url") << "<p><img src=\"%file\"/> news</p>";
    QTest::newRow("system file") << "<p><img src=\"file:///etc/passwd\"/> news</p>";
    QTest::newRow("relative name") << "<p><img src=\"qrc-less relative\"/> news</p>";
    QTest::newRow("data url") << "<p><img src=\"%data\"/> news</p>";
    QTest::newRow("ftp url") << "<p><img src=\"ftp://127.0.0.1/banner.png\"/> news</p>";
    QTest::newRow("background") << "<table background=\"%file\"><tr><td>news</td></tr></table>";
    QTest::newRow("remote style sheet") << "<link rel=\"stylesheet\" type=\"text/css\" href=\"%server/style.css\"/>"
                                           "<p>news</p>";
}

void TTextBrowserTest::nothingButNetworkImagesAndArtworkIsLoaded()
{
    QFETCH(QString, html);
    QTemporaryDir directory;
    const TLocalImages images(directory);
    m_server.clearLog();
    m_server.setContent("/style.css", "p { color: red; }", "text/css");
    auto pool = makePool();
    QSignalSpy poolSuccess(pool.get(), &TDownloadPool::success);
    QSignalSpy poolFailure(pool.get(), &TDownloadPool::failed);
    QTextBrowserWithNetwork browser(nullptr, pool);
    browser.resize(280, 104);
    browser.setHtml(images.fill(html, m_server.url("")) +
                    QStringLiteral("<p><img src=\":/images/launcher/icircle.png\"/></p>"));
    browser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&browser));

    QCOMPARE(pixelsOfColour(browser, ImageColour), 0);
    QVERIFY(browser.toPlainText().contains("news"));
    QCOMPARE(pool->requestCount(), 0);
    QCOMPARE(poolSuccess.count() + poolFailure.count(), 0);
    QCOMPARE(m_server.requestCount(), 0);
    // The program's own artwork still loads, without the pool.
    QFile artwork(":/images/launcher/icircle.png");
    QVERIFY(artwork.open(QIODevice::ReadOnly));
    QCOMPARE(browser.loadResource(QTextDocument::ImageResource, QUrl("qrc:/images/launcher/icircle.png")).toByteArray(),
             artwork.readAll());
}

void TTextBrowserTest::imagesBeyondTheLimitsKeepThePlaceholder_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::newRow("wider than the limit") << pngOf(QSize(TRichTextResources::MaxImageSide + 1, 1), ImageColour);
    QTest::newRow("too many pixels") << pngOf(QSize(4096, 1025), ImageColour);
    QTest::newRow("body beyond the cap") << pngOf(QSize(12, 12), ImageColour) +
                                                QByteArray(TRichTextResources::HintImageMaxBytes, '\0');
    QTest::newRow("not an image") << QByteArray("<html>not found</html>");
}

void TTextBrowserTest::imagesBeyondTheLimitsKeepThePlaceholder()
{
    QFETCH(QByteArray, body);
    m_server.setContent("/limits.png", body, "image/png");
    auto pool = makePool();
    QSignalSpy poolSuccess(pool.get(), &TDownloadPool::success);
    QSignalSpy poolFailure(pool.get(), &TDownloadPool::failed);
    QTextBrowserWithNetwork browser(nullptr, pool);
    const QUrl url = m_server.url("/limits.png");
    browser.resize(280, 104);
    browser.setHtml(imageHtml(url.toString()));
    browser.show();
    // A body beyond the cap is aborted by the pool; the others arrive and are refused by the decoder.
    QTRY_COMPARE(poolSuccess.count() + poolFailure.count(), 1);

    QCOMPARE(pixelsOfColour(browser, ImageColour), 0);
    const QImage image = browser.loadResource(QTextDocument::ImageResource, url).value<QImage>();
    QCOMPARE(image.size(), QSize(32, 32));
}

void TTextBrowserTest::inertHtmlKeepsFormattingAndDropsResources_data()
{
    QTest::addColumn<QString>("html");
    QTest::addColumn<bool>("unchanged");
    QTest::newRow("formatting") << "<b>Bold</b> <i>it</i> <a href=\"https://example.org/\">link</a><br/>line" << true;
    QTest::newRow("artwork") << "<b>Bold</b><img src=\":/images/launcher/icircle.png\"/>" << true;
    QTest::newRow("device file") << "<b>Bold</b><img src=\"/dev/zero\"/>" << false;
    QTest::newRow("file url") << "<b>Bold</b><img src=\"%file\" width=\"10\"/>" << false;
    QTest::newRow("data url") << "<b>Bold</b><img src=\"%data\"/>" << false;
    QTest::newRow("remote image") << "<b>Bold</b><img src=\"%server/banner.png\"/>" << false;
    QTest::newRow("style sheet") << "<link rel=\"stylesheet\" type=\"text/css\" href=\"%file\"/><b>Bold</b>" << false;
    QTest::newRow("background") << "<p style=\"background-image: url(%file)\"><b>Bold</b></p>" << false;
    QTest::newRow("table background") << "<b>Bold</b><table background=\"%file\"><tr><td>cell</td></tr></table>"
                                      << false;
    QTest::newRow("cell background") << "<table><tr><td style=\"background: url(%file)\"><b>Bold</b></td></tr></table>"
                                     << false;
}

void TTextBrowserTest::inertHtmlKeepsFormattingAndDropsResources()
{
    QFETCH(QString, html);
    QFETCH(bool, unchanged);
    QTemporaryDir directory;
    const TLocalImages images(directory);
    const QString source = images.fill(html, m_server.url(""));
    m_server.clearLog();

    const QString inert = TInertTextDocument::withoutExternalResources(source);

    if (unchanged) {
        QCOMPARE(inert, source);
    }
    // What is left loads nothing, and the bold text is still bold.
    TInertTextDocument document;
    document.setHtml(inert);
    QVERIFY(!document.hasRefusedResources());
    QVERIFY(!inert.contains(directory.path()));
    QVERIFY(!inert.contains("/dev/zero") && !inert.contains("data:") && !inert.contains("banner.png"));
    const QTextCursor bold = document.find("Bold");
    QVERIFY(!bold.isNull());
    QVERIFY(bold.charFormat().fontWeight() > QFont::Normal);
    QCOMPARE(m_server.requestCount(), 0);
}

void TTextBrowserTest::markupThatStillLoadsKeepsItsText()
{
    // Artwork images are kept; one that the program does not have would still be looked for.
    const QString inert =
        TInertTextDocument::withoutExternalResources("<b>Bold</b> &lt;news&gt;<img src=\":/no/such.png\"/>");

    TInertTextDocument document;
    document.setHtml(inert);
    QVERIFY(!document.hasRefusedResources());
    QCOMPARE(document.toPlainText(), QStringLiteral("Bold <news>"));
    QCOMPARE(document.find("Bold").charFormat().fontWeight(), int(QFont::Normal));
}

void TTextBrowserTest::failedDownloadWarnsAndKeepsPlaceholder()
{
    m_server.clearLog();
    m_server.setResponse("/missing.png", TTestHttpResponse().status(404).body("gone"));
    auto pool = makePool();
    QSignalSpy poolFailure(pool.get(), &TDownloadPool::failed);
    QTextBrowserWithNetwork browser(nullptr, pool);
    const QUrl url = m_server.url("/missing.png");

    capturedMessages.clear();
    const QtMessageHandler previous = qInstallMessageHandler(captureMessage);
    browser.loadResource(QTextDocument::ImageResource, url);
    const bool failed = poolFailure.wait();
    qInstallMessageHandler(previous);
    QVERIFY(failed);

    QCOMPARE(capturedMessages.size(), 1);
    const TCapturedMessage& message = capturedMessages.first();
    QCOMPARE(message.type, QtWarningMsg);
    QVERIFY2(message.text.startsWith("Download failed:"), qPrintable(message.text));
    QVERIFY2(message.text.contains(url.toString()), qPrintable(message.text));
    QVERIFY2(message.text.contains("ContentNotFoundError"), qPrintable(message.text));
    QVERIFY2(message.file.contains("launcher/src/shared/qtextbrowserwithnetwork"), qPrintable(message.file));
    QVERIFY2(message.function.contains("onDownloadFailed"), qPrintable(message.function));

    // The placeholder stays: laying the document out again does not ask the pool a second time.
    const QImage image = browser.loadResource(QTextDocument::ImageResource, url).value<QImage>();
    QCOMPARE(image.size(), QSize(32, 32));
    QCOMPARE(pool->requestCount(), 0);
    QCOMPARE(m_server.requestCount("/missing.png"), 1);
}

void TTextBrowserTest::deliveriesForOtherUrlsAreKeptForLaterUse()
{
    m_server.clearLog();
    m_server.setContent("/prefetched.png", pngOf(QSize(12, 12), ImageColour), "image/png");
    auto pool = makePool();
    QSignalSpy poolSuccess(pool.get(), &TDownloadPool::success);
    QTextBrowserWithNetwork browser(nullptr, pool);
    browser.resize(280, 104);
    browser.setHtml(QStringLiteral("<p>Loading</p>"));
    browser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&browser));
    const QUrl url = m_server.url("/prefetched.png");

    // Someone else on the same pool fetched the image; the browser keeps it and never asks again.
    pool->addRequest(url);
    QVERIFY(poolSuccess.wait());
    QVERIFY(browser.isResourceCached(url));
    QCOMPARE(browser.toPlainText(), QString("Loading"));

    browser.setHtml(imageHtml(url.toString()));
    QTRY_COMPARE(pixelsOfColour(browser, ImageColour), 12 * 12);
    QCOMPARE(m_server.requestCount("/prefetched.png"), 1);
    QCOMPARE(pool->requestCount(), 0);
}

int runTextBrowserTests(int argc, char** argv)
{
    TTextBrowserTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_textbrowser.moc"
