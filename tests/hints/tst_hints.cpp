#include "hints/HintsFuzzCheck.h"
#include "randomhints/ChooseHint.h"
#include "randomhints/ParseHints.h"

#include <QDir>
#include <QFile>
#include <QtTest>

using namespace shared;

namespace {

const QString StylePrefix = QStringLiteral("<style>a { color: #c0c0c0; }</style>");
const QDateTime Now(QDate(2025, 6, 15), QTime(12, 0, 0, 0), Qt::UTC);

QString at(qint64 offsetMilliseconds)
{
    return Now.addMSecs(offsetMilliseconds).toString(Qt::ISODateWithMs);
}

// The title of the hint chosen at When from the hints document Document, or "-" for none.
QString chosenTitle(const QByteArray& document, const QDateTime& when = Now)
{
    const std::optional<THint> hint = chooseHint(parseHints(document), when);
    return hint ? hint->title : QStringLiteral("-");
}

} // namespace

class TestHints : public QObject
{
    Q_OBJECT

private slots:
    void parsesEveryField();
    void brokenDocumentsGiveNoHints_data();
    void brokenDocumentsGiveNoHints();
    void wrongTypesTakeDefaults();
    void unparsableDatesAreNull_data();
    void unparsableDatesAreNull();
    void choice_data();
    void choice();
    void undatedChoiceFollowsTheMillisecond_data();
    void undatedChoiceFollowsTheMillisecond();
    void chosenHintKeepsStylePrefix();
    void travelsInSignals();
    void committedFuzzInputs_data();
    void committedFuzzInputs();
};

void TestHints::parsesEveryField()
{
    const std::vector<THint> hints = parseHints(R"([{
        "title": "Summer event", "richText": "<p>Join <a href='x'>now</a></p>",
        "imageUrl": "https://img.example/e.png", "category": "news", "url": "https://www.example.com/e",
        "displayAfter": "2025-06-01T08:00:00Z", "displayUntil": "2025-06-30T20:00:00+02:00", "emergency": false
    }])");
    QCOMPARE(hints.size(), std::size_t(1));
    const THint& hint = hints.front();
    QCOMPARE(hint.title, QStringLiteral("Summer event"));
    QCOMPARE(hint.richText, StylePrefix + QStringLiteral("<p>Join <a href='x'>now</a></p>"));
    QCOMPARE(hint.imageUrl, QStringLiteral("https://img.example/e.png"));
    QCOMPARE(hint.category, QStringLiteral("news"));
    QCOMPARE(hint.url, QStringLiteral("https://www.example.com/e"));
    QCOMPARE(hint.displayAfter, QDateTime(QDate(2025, 6, 1), QTime(8, 0), Qt::UTC));
    QCOMPARE(hint.displayUntil, QDateTime(QDate(2025, 6, 30), QTime(18, 0), Qt::UTC));
    QVERIFY(hint.hasEmergency);
    QVERIFY(!hint.emergency);
}

void TestHints::brokenDocumentsGiveNoHints_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<bool>("parseError");
    QTest::newRow("empty") << QByteArray() << true;
    QTest::newRow("truncated") << QByteArray(R"([{"richText": "a"}, {"richT)") << true;
    QTest::newRow("html") << QByteArray("<html>503</html>") << true;
    QTest::newRow("object instead of array") << QByteArray(R"({"richText": "a"})") << false;
    QTest::newRow("scalars in the array") << QByteArray(R"([1, "richText", null, true, []])") << false;
    QTest::newRow("title only") << QByteArray(R"([{"title": "no text"}])") << false;
    QTest::newRow("empty rich text") << QByteArray(R"([{"title": "t", "richText": ""}])") << false;
    QTest::newRow("rich text of wrong type") << QByteArray(R"([{"title": "t", "richText": ["a"]}])") << false;
}

void TestHints::brokenDocumentsGiveNoHints()
{
    QFETCH(QByteArray, document);
    QFETCH(bool, parseError);
    if (parseError) {
        QTest::ignoreMessage(QtWarningMsg,
                             QRegularExpression(QStringLiteral("^Could not parse hints file at offset \\d+ :")));
    }
    QVERIFY(parseHints(document).empty());
}

void TestHints::wrongTypesTakeDefaults()
{
    const std::vector<THint> hints = parseHints(
        R"([{"richText": "r", "title": 1, "imageUrl": {}, "category": [], "url": true, "emergency": "yes"},
            {"richText": "s", "emergency": null}, {"richText": "t"}])");
    QCOMPARE(hints.size(), std::size_t(3));
    QVERIFY(hints[0].title.isEmpty());
    QVERIFY(hints[0].imageUrl.isEmpty());
    QVERIFY(hints[0].category.isEmpty());
    QVERIFY(hints[0].url.isEmpty());
    // A present "emergency" key of any type withholds the hint unless it is true.
    QVERIFY(hints[0].hasEmergency);
    QVERIFY(!hints[0].emergency);
    QVERIFY(hints[1].hasEmergency);
    QVERIFY(!hints[1].emergency);
    QVERIFY(!hints[2].hasEmergency);
    QVERIFY(!hints[2].emergency);
}

void TestHints::unparsableDatesAreNull_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<bool>("valid");
    QTest::newRow("utc") << QByteArray(R"("2025-06-15T12:00:00Z")") << true;
    QTest::newRow("offset") << QByteArray(R"("2025-06-15T12:00:00+05:30")") << true;
    QTest::newRow("milliseconds") << QByteArray(R"("2025-06-15T12:00:00.123Z")") << true;
    QTest::newRow("words") << QByteArray(R"("next week")") << false;
    QTest::newRow("month 13") << QByteArray(R"("2025-13-01T00:00:00Z")") << false;
    QTest::newRow("number") << QByteArray("1750000000") << false;
    QTest::newRow("empty") << QByteArray(R"("")") << false;
}

void TestHints::unparsableDatesAreNull()
{
    QFETCH(QByteArray, value);
    QFETCH(bool, valid);
    const std::vector<THint> hints =
        parseHints(R"([{"richText": "r", "displayAfter": )" + value + R"(, "displayUntil": )" + value + "}]");
    QCOMPARE(hints.front().displayAfter.isValid(), valid);
    QCOMPARE(hints.front().displayUntil.isValid(), valid);
    QCOMPARE(hints.front().isDated(), valid);
    QVERIFY(valid || hints.front().displayAfter.isNull());
}

void TestHints::choice_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QString>("expected");

    const QByteArray past = '"' + at(-86400000).toUtf8() + '"';
    const QByteArray future = '"' + at(86400000).toUtf8() + '"';
    QTest::newRow("emergency beats everything, even long expired")
        << QByteArray(
               R"([{"title": "dated", "richText": "r", "displayAfter": )" + past +
               R"(}, {"title": "sos", "richText": "r", "emergency": true, "displayUntil": "2001-01-01T00:00:00Z"}])")
        << "sos";
    QTest::newRow("first of two emergencies") << QByteArray(R"([{"title": "one", "richText": "r", "emergency": true},
                          {"title": "two", "richText": "r", "emergency": true}])")
                                              << "one";
    QTest::newRow("emergency false is never chosen")
        << QByteArray(R"([{"title": "held", "richText": "r", "emergency": false}])") << "-";
    QTest::newRow("emergency false skipped for an undated hint")
        << QByteArray(R"([{"title": "held", "richText": "r", "emergency": false, "displayAfter": )" + past +
                      R"(}, {"title": "plain", "richText": "r"}])")
        << "plain";
    QTest::newRow("dated beats undated even when second")
        << QByteArray(R"([{"title": "plain", "richText": "r"}, {"title": "dated", "richText": "r", "displayUntil": )" +
                      future + "}]")
        << "dated";
    QTest::newRow("first dated of two") << QByteArray(R"([{"title": "a", "richText": "r", "displayAfter": )" + past +
                                                      R"(}, {"title": "b", "richText": "r", "displayAfter": )" + past +
                                                      "}]")
                                        << "a";
    QTest::newRow("until equal to now is current")
        << QByteArray(R"([{"title": "edge", "richText": "r", "displayUntil": ")" + at(0).toUtf8() + R"("}])") << "edge";
    QTest::newRow("after equal to now is current")
        << QByteArray(R"([{"title": "edge", "richText": "r", "displayAfter": ")" + at(0).toUtf8() + R"("}])") << "edge";
    QTest::newRow("after one millisecond ahead is not current")
        << QByteArray(R"([{"title": "soon", "richText": "r", "displayAfter": ")" + at(1).toUtf8() + R"("}])") << "-";
    QTest::newRow("until one millisecond ago is not current")
        << QByteArray(R"([{"title": "over", "richText": "r", "displayUntil": ")" + at(-1).toUtf8() + R"("}])") << "-";
    QTest::newRow("expired dated falls back to undated")
        << QByteArray(R"([{"title": "over", "richText": "r", "displayUntil": )" + past +
                      R"(}, {"title": "plain", "richText": "r"}])")
        << "plain";
    QTest::newRow("invalid dates count as undated")
        << QByteArray(R"([{"title": "bad", "richText": "r", "displayAfter": "soon"},
                          {"title": "dated", "richText": "r", "displayAfter": )" +
                      past + "}]")
        << "dated";
    QTest::newRow("hint without text is never chosen")
        << QByteArray(R"([{"title": "empty", "emergency": true}, {"title": "plain", "richText": "r"}])") << "plain";
    QTest::newRow("nothing current") << QByteArray(R"([{"title": "soon", "richText": "r", "displayAfter": )" + future +
                                                   "}]")
                                     << "-";
}

void TestHints::choice()
{
    QFETCH(QByteArray, document);
    QFETCH(QString, expected);
    QCOMPARE(chosenTitle(document), expected);
}

void TestHints::undatedChoiceFollowsTheMillisecond_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::addColumn<QDateTime>("now");
    QTest::addColumn<QString>("expected");
    const QByteArray two = R"([{"title": "first", "richText": "r"}, {"title": "second", "richText": "r"}])";
    const QByteArray three = R"([{"title": "0", "richText": "r"}, {"title": "1", "richText": "r"},
                                 {"title": "held", "richText": "r", "emergency": false}, {"title": "2", "richText": "r"}])";
    QTest::newRow("even millisecond") << two << Now << "first";
    QTest::newRow("odd millisecond") << two << Now.addMSecs(1) << "second";
    QTest::newRow("three, remainder 0") << three << QDateTime::fromMSecsSinceEpoch(1750000000002, Qt::UTC) << "0";
    QTest::newRow("three, remainder 1") << three << QDateTime::fromMSecsSinceEpoch(1750000000000, Qt::UTC) << "1";
    QTest::newRow("three, remainder 2") << three << QDateTime::fromMSecsSinceEpoch(1750000000001, Qt::UTC) << "2";
    // Before 1970 the millisecond count is negative; the choice must still be a listed hint.
    QTest::newRow("before the epoch") << three << QDateTime::fromMSecsSinceEpoch(-1, Qt::UTC) << "2";
    QTest::newRow("far before the epoch") << three << QDateTime::fromMSecsSinceEpoch(-4, Qt::UTC) << "2";
}

void TestHints::undatedChoiceFollowsTheMillisecond()
{
    QFETCH(QByteArray, document);
    QFETCH(QDateTime, now);
    QFETCH(QString, expected);
    QCOMPARE(chosenTitle(document, now), expected);
}

void TestHints::chosenHintKeepsStylePrefix()
{
    const std::optional<THint> hint = chooseHint(parseHints(R"([{"richText": "<b>Tip</b>"}])"), Now);
    QVERIFY(hint);
    QCOMPARE(hint->richText, StylePrefix + QStringLiteral("<b>Tip</b>"));
}

void TestHints::travelsInSignals()
{
    THint::registerMetaTypes();
    QVERIFY(QMetaType::type("shared::THint") != QMetaType::UnknownType);
    QVERIFY(QMetaType::type("std::vector<shared::THint>") != QMetaType::UnknownType);
    const std::vector<THint> hints = parseHints(R"([{"title": "t", "richText": "r"}])");
    const QVariant variant = QVariant::fromValue(hints);
    QCOMPARE(variant.value<std::vector<THint>>().front().title, QStringLiteral("t"));
}

void TestHints::committedFuzzInputs_data()
{
    QTest::addColumn<QString>("path");
    const QString data = QStringLiteral(QUENMAR_SOURCE_DIR "/tests/data");
    const QDir corpus(data + QStringLiteral("/fuzz/fuzz_hints"));
    for (const QFileInfo& file : corpus.entryInfoList(QDir::Files, QDir::Name)) {
        QTest::newRow(qPrintable(QStringLiteral("corpus/") + file.fileName())) << file.absoluteFilePath();
    }
    const QDir crashes(data + QStringLiteral("/configuration/crashes"));
    for (const QFileInfo& file : crashes.entryInfoList({QStringLiteral("fuzz_hints-*")}, QDir::Files, QDir::Name)) {
        QTest::newRow(qPrintable(QStringLiteral("crash/") + file.fileName())) << file.absoluteFilePath();
    }
}

void TestHints::committedFuzzInputs()
{
    QFETCH(QString, path);
    QFile file(path);
    QVERIFY(file.open(QIODevice::ReadOnly));
    const QString problem = checkHintsInput(file.readAll());
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

int runHintsTests(int argc, char** argv)
{
    TestHints test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_hints.moc"
