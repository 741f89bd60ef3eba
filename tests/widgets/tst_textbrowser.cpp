#include "network/QNetworkAccessManagerWrapper.h"
#include "network/TDownloadPool.h"
#include "qtextbrowserwithnetwork/QTextBrowserWithNetwork.h"
#include "support/TTestHttpServer.h"

#include <QBuffer>
#include <QFile>
#include <QImage>
#include <QNetworkAccessManager>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTextDocument>

#include <memory>

using shared::QNetworkAccessManagerWrapper;
using shared::QTextBrowserWithNetwork;
using shared::TDownloadPool;
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
    void otherResourceTypesAreCachedAsTheirTypeNumber();
    void localFileAndResourceLoadWithoutPool();
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

void TTextBrowserTest::otherResourceTypesAreCachedAsTheirTypeNumber()
{
    m_server.clearLog();
    m_server.setResponse("/style.css", TTestHttpResponse().body("p { color: red; }", "text/css").held());
    QTextBrowserWithNetwork browser(nullptr, makePool());
    const QUrl url = m_server.url("/style.css");

    const QVariant first = browser.loadResource(QTextDocument::StyleSheetResource, url);
    const QVariant second = browser.loadResource(QTextDocument::StyleSheetResource, url);

    QCOMPARE(first, QVariant(int(QTextDocument::StyleSheetResource)));
    QCOMPARE(second, first);
    QTRY_COMPARE(m_server.heldCount("/style.css"), 1);
    QCOMPARE(m_server.requestCount("/style.css"), 1);
    m_server.releaseHeld();
}

void TTextBrowserTest::localFileAndResourceLoadWithoutPool()
{
    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    const QString file = directory.filePath("local.png");
    QImage coloured(QSize(10, 8), QImage::Format_RGB32);
    coloured.fill(ImageColour);
    QVERIFY(coloured.save(file));
    auto pool = makePool();
    QSignalSpy poolSuccess(pool.get(), &TDownloadPool::success);
    QSignalSpy poolFailure(pool.get(), &TDownloadPool::failed);
    QTextBrowserWithNetwork browser(nullptr, pool);
    browser.resize(280, 104);
    browser.setHtml(QStringLiteral("<p><img src=\"%1\"/><img src=\":/images/launcher/icircle.png\"/></p>")
                        .arg(QUrl::fromLocalFile(file).toString()));
    browser.show();
    QVERIFY(QTest::qWaitForWindowExposed(&browser));

    QCOMPARE(pixelsOfColour(browser, ImageColour), 10 * 8);
    const QString resourcePath = QStringLiteral(":/images/launcher/icircle.png");
    QFile resourceFile(resourcePath);
    QVERIFY(resourceFile.open(QIODevice::ReadOnly));
    QCOMPARE(browser.loadResource(QTextDocument::ImageResource, QUrl(resourcePath)).toByteArray(),
             resourceFile.readAll());
    QCOMPARE(pool->requestCount(), 0);
    QCOMPARE(poolSuccess.count() + poolFailure.count(), 0);
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
