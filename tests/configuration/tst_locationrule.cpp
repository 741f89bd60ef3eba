// Where a document or object has its copies: the build's folder and its mirrors.
#include "configuration/TLocationRule.h"
#include "configuration/TPackageBuild.h"

#include <QtTest>

using namespace orvan::launcher;

namespace {

TLocationRule threeLocations()
{
    return TLocationRule(QUrl(QStringLiteral("http://a.example/pkg/")),
                         {QUrl(QStringLiteral("http://b.example/m/")), QUrl(QStringLiteral("https://c/"))});
}

} // namespace

class TestLocationRule : public QObject
{
    Q_OBJECT

private slots:
    void relocatesBelowTheSourceLocationOnly_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<int>("from");
        QTest::addColumn<int>("to");
        QTest::addColumn<QString>("expected");
        QTest::newRow("home to mirror, encoding kept")
            << "http://a.example/pkg/objects/a%20b" << 0 << 1 << "http://b.example/m/objects/a%20b";
        QTest::newRow("mirror to home") << "https://c/objects/a%20b" << 2 << 0 << "http://a.example/pkg/objects/a%20b";
        QTest::newRow("query kept") << "http://a.example/pkg/p.json?nocache=x" << 0 << 2
                                    << "https://c/p.json?nocache=x";
        QTest::newRow("same location") << "http://b.example/m/o" << 1 << 1 << "http://b.example/m/o";
        QTest::newRow("elsewhere on the host") << "http://a.example/other/1" << 0 << 1 << "";
        QTest::newRow("folder sharing a prefix") << "http://a.example/pkg2/1" << 0 << 1 << "";
        QTest::newRow("below another location") << "http://b.example/m/o" << 0 << 2 << "";
        QTest::newRow("no such target") << "http://a.example/pkg/o" << 0 << 3 << "";
        QTest::newRow("no such source") << "http://a.example/pkg/o" << -1 << 1 << "";
    }

    void relocatesBelowTheSourceLocationOnly()
    {
        QFETCH(QString, url);
        QFETCH(int, from);
        QFETCH(int, to);
        QFETCH(QString, expected);
        QCOMPARE(threeLocations().relocated(QUrl(url), from, to), expected.isEmpty() ? QUrl() : QUrl(expected));
    }

    void onlyUrlsBelowHomeWithMirrorsAreMirrored()
    {
        const QUrl below(QStringLiteral("http://a.example/pkg/objects/1"));
        QVERIFY(threeLocations().isMirrored(below));
        QVERIFY(!threeLocations().isMirrored(QUrl(QStringLiteral("http://a.example/other/1"))));
        QVERIFY(!TLocationRule(QUrl(QStringLiteral("http://a.example/pkg/")), {}).isMirrored(below));
    }

    void buildDocumentsMoveFromTheBuildFolderToItsMirrors()
    {
        TPackageBuild build(EOperatingSystem::Linux, EArchitecture::X86_64,
                            QUrl(QStringLiteral("https://h.example/p/1/package.json?v=2")),
                            QUrl(QStringLiteral("https://h.example/assets/assets.json")));
        build.setMirrors({QUrl(QStringLiteral("https://m.example/copy/"))});
        const TLocationRule rule = build.locationRule();
        QCOMPARE(rule.relocated(build.url(), 0, 1), QUrl(QStringLiteral("https://m.example/copy/package.json?v=2")));
        // The asset document lies outside the build's folder and exists only where it is.
        QVERIFY(!rule.relocated(build.assetsUrl(), 0, 1).isValid());
    }
};

int runLocationRuleTests(int argc, char** argv)
{
    TestLocationRule test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_locationrule.moc"
