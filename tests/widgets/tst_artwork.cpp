#include <QCoreApplication>
#include <QDate>
#include <QImage>
#include <QImageReader>
#include <QRegularExpression>
#include <QTest>
#include <QTextDocument>
#include <QTranslator>

namespace {

const QString ImagePrefix = QStringLiteral(":/images/launcher/");

void addImageRow(const QString& name, const QSize& minimum, const QSize& maximum)
{
    QTest::newRow(qPrintable(name)) << name << minimum << maximum;
}

QSize sizeOf(const QString& name)
{
    return QImageReader(ImagePrefix + name).size();
}

} // namespace

/// The compiled-in artwork the window, the item and the splash refer to, and the About catalogue.
class TArtworkTest : public QObject
{
    Q_OBJECT

private slots:
    void imageLoadsWithUsableSize_data();
    void imageLoadsWithUsableSize();
    void buttonFamiliesAndLogosShareTheirSizes();
    void aboutCatalogueHasTitleAndAllPlaceholders();
};

void TArtworkTest::imageLoadsWithUsableSize_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QSize>("minimum");
    QTest::addColumn<QSize>("maximum");

    // The item lays out four logos in a row of the 800 pixel window; the splash shows the same picture.
    const QSize logoMinimum(120, 120);
    const QSize logoMaximum(184, 200);
    addImageRow("LauncherLogo_QT.png", logoMinimum, logoMaximum);
    addImageRow("LauncherLogo_UpdatingLauncher.png", logoMinimum, logoMaximum);
    for (const char* variant : {"QT", "Classic", "Preview", "Beta", "Test"}) {
        for (const char* state : {"", "_disabled"}) {
            addImageRow(QStringLiteral("QuenmarLogo_%1%2.png").arg(variant, state), logoMinimum, logoMaximum);
        }
    }
    for (const char* colour : {"Red", "Blue", "Orange", "Green"}) {
        for (const char* state : {"idle", "hover", "pressed", "disabled"}) {
            addImageRow(QStringLiteral("Button_%1_%2.png").arg(colour, state), QSize(98, 40), QSize(98, 40));
        }
    }
    // Drawn inside the button's 4 pixel border.
    for (const char* caption : {"Download", "Update", "Play"}) {
        addImageRow(QStringLiteral("Icon_%1.png").arg(caption), QSize(16, 12), QSize(90, 32));
    }
    // Border images need room for their slices plus a middle: 2 px, 16 px, 5 px and 6 px.
    addImageRow("ProgressBar_BG.png", QSize(5, 5), QSize(98, 40));
    addImageRow("ProgressBar.png", QSize(5, 5), QSize(98, 40));
    addImageRow("clientpackage-background.png", QSize(33, 33), QSize(64, 64));
    addImageRow("hint-background.png", QSize(11, 6), QSize(64, 64));
    addImageRow("checkbox-unchecked.png", QSize(12, 12), QSize(20, 20));
    addImageRow("checkbox-checked.png", QSize(12, 12), QSize(20, 20));
    addImageRow("scrollbar-texture-vertical.png", QSize(12, 1), QSize(12, 64));
    addImageRow("scrollbar-handle-vertical.png", QSize(12, 13), QSize(12, 64));
    for (const char* arrow : {"buttonup-up", "buttonup-down", "buttondown-up", "buttondown-down"}) {
        addImageRow(QStringLiteral("scrollbar-%1.png").arg(arrow), QSize(12, 12), QSize(12, 12));
    }
    // The bottom 450 rows are drawn as they are; the rows above stretch with the window height.
    addImageRow("BackgroundImage.jpg", QSize(800, 451), QSize(800, 800));
    addImageRow("BrelmorLogo.png", QSize(60, 16), QSize(220, 48));
    addImageRow("icircle.png", QSize(14, 14), QSize(32, 32));
    addImageRow("Twitter.png", QSize(16, 16), QSize(40, 40));
    addImageRow("Discord.png", QSize(16, 16), QSize(40, 40));
}

void TArtworkTest::imageLoadsWithUsableSize()
{
    QFETCH(QString, name);
    QFETCH(QSize, minimum);
    QFETCH(QSize, maximum);

    const QImage image(ImagePrefix + name);
    QVERIFY2(!image.isNull(), qPrintable(name));
    QVERIFY2(image.width() >= minimum.width() && image.height() >= minimum.height(), qPrintable(name));
    QVERIFY2(image.width() <= maximum.width() && image.height() <= maximum.height(), qPrintable(name));

    // A picture that is one flat colour, or entirely transparent, is a placeholder rather than artwork.
    const QImage argb = image.convertToFormat(QImage::Format_ARGB32);
    QRgb first = argb.pixel(0, 0);
    bool varies = false;
    bool visible = false;
    for (int y = 0; y < argb.height(); ++y) {
        for (int x = 0; x < argb.width(); ++x) {
            const QRgb pixel = argb.pixel(x, y);
            varies = varies || pixel != first;
            visible = visible || qAlpha(pixel) > 0;
        }
    }
    QVERIFY2(varies && visible, qPrintable(name));
}

void TArtworkTest::buttonFamiliesAndLogosShareTheirSizes()
{
    const QSize logo = sizeOf("LauncherLogo_QT.png");
    for (const char* variant : {"QT", "Classic", "Preview", "Beta", "Test"}) {
        QCOMPARE(sizeOf(QStringLiteral("QuenmarLogo_%1.png").arg(variant)), logo);
        QCOMPARE(sizeOf(QStringLiteral("QuenmarLogo_%1_disabled.png").arg(variant)), logo);
    }
    QCOMPARE(sizeOf("LauncherLogo_UpdatingLauncher.png"), logo);
    QCOMPARE(sizeOf("checkbox-checked.png"), sizeOf("checkbox-unchecked.png"));
    QCOMPARE(sizeOf("ProgressBar.png"), sizeOf("ProgressBar_BG.png"));
    QCOMPARE(sizeOf("Twitter.png"), sizeOf("Discord.png"));
}

void TArtworkTest::aboutCatalogueHasTitleAndAllPlaceholders()
{
    QTranslator translator;
    QVERIFY2(translator.load(QStringLiteral("launcher.en"), QStringLiteral(QUENMAR_BINARY_DIR "/bin")),
             "launcher.en.qm is missing from the build's bin directory");
    QCoreApplication::installTranslator(&translator);
    const QString title = qtTrId("launcher.about.title");
    const QString text = qtTrId("launcher.about.text");
    QCoreApplication::removeTranslator(&translator);

    QVERIFY(!title.isEmpty());
    QVERIFY(title != QLatin1String("launcher.about.title"));
    QVERIFY(Qt::mightBeRichText(text));
    for (int placeholder = 1; placeholder <= 6; ++placeholder) {
        QVERIFY2(text.contains(QStringLiteral("%%1").arg(placeholder)), qPrintable(QString::number(placeholder)));
    }
    const QString licence = QStringLiteral("https://www.gnu.org/licenses/lgpl-3.0.html");
    const QString sources = QStringLiteral("https://code.qt.io/cgit/qt/qtbase.git/");
    const QString filled = text.arg(QStringLiteral("2002"), QString::number(QDate::currentDate().year()), licence,
                                    licence, sources, sources);
    QVERIFY(!filled.contains(QRegularExpression(QStringLiteral("%\\d"))));
    QVERIFY(filled.contains(QStringLiteral("href=\"%1\"").arg(licence)));
    QVERIFY(filled.contains(QStringLiteral("href=\"%1\"").arg(sources)));
    QVERIFY(filled.contains(QStringLiteral("2002")));
}

int runArtworkTests(int argc, char** argv)
{
    TArtworkTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_artwork.moc"
