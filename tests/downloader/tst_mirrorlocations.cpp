// Which location an object is fetched from, and when a location is given up.
#include "installation/TMirrorLocations.h"
#include "support/TLogCapture.h"

#include <QtTest>

using orvan::launcher::TMirrorLocations;

class TestMirrorLocations : public QObject
{
    Q_OBJECT

private slots:
    void objectsMoveOnAndLocationsAreGivenUpAfterThreeFailuresInARow()
    {
        const testsupport::TLogCapture log(testsupport::TLogCapture::EForwarding::Nothing);
        TMirrorLocations locations(QUrl(QStringLiteral("http://a.example/pkg/")),
                                   {QUrl(QStringLiteral("http://b.example/m/")), QUrl(QStringLiteral("https://c/"))});
        const QUrl object(QStringLiteral("http://a.example/pkg/objects/a%20b"));
        const QUrl elsewhere(QStringLiteral("http://a.example/other/1"));
        QCOMPARE(locations.nextLocation(object, 0), 1);
        QCOMPARE(locations.nextLocation(object, 2), TMirrorLocations::NoLocation);
        QCOMPARE(locations.nextLocation(elsewhere, 0), TMirrorLocations::NoLocation);

        // Objects that exist only where they are don't count; a success breaks the run of failures.
        for (int failure = 0; failure < 5; ++failure)
            QVERIFY(!locations.recordFailure(elsewhere, 0));
        QVERIFY(!locations.recordFailure(object, 0));
        QVERIFY(!locations.recordFailure(object, 0));
        locations.recordSuccess(object, 0);
        QVERIFY(!locations.recordFailure(object, 0));
        QVERIFY(!locations.recordFailure(object, 0));
        QVERIFY(locations.recordFailure(object, 0));
        QVERIFY(!locations.recordFailure(object, 0));
        QCOMPARE(log.countContaining(QStringLiteral("Download location http://a.example/pkg/ given up")), 1);
        QVERIFY(locations.isGivenUp(object, 0));
        QVERIFY(!locations.isGivenUp(elsewhere, 0));
        QCOMPARE(locations.usableLocation(object, 0), 1);
        QCOMPARE(locations.usableLocation(elsewhere, 0), 0);

        for (int location = 1; location < 3; ++location) {
            for (int failure = 0; failure < TMirrorLocations::FailuresInARowToGiveUp; ++failure)
                locations.recordFailure(locations.relocated(object, 0, location), location);
        }
        QCOMPARE(locations.usableLocation(object, 0), TMirrorLocations::NoLocation);
        locations.resetFailures();
        QCOMPARE(locations.usableLocation(object, 0), 0);

        // Without mirrors nothing is ever given up.
        TMirrorLocations single;
        for (int failure = 0; failure < 5; ++failure)
            QVERIFY(!single.recordFailure(object, 0));
        QVERIFY(!single.isGivenUp(object, 0));
        QCOMPARE(single.nextLocation(object, 0), TMirrorLocations::NoLocation);
    }
};

QTEST_GUILESS_MAIN(TestMirrorLocations)
#include "tst_mirrorlocations.moc"
