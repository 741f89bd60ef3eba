#include "configuration/TLauncherConfigurationException.h"
#include "configuration/TLauncherConfigurationReader.h"
#include "configuration/TPackage.h"
#include "configuration/TPackageConfigurationReader.h"

#include "support/TLogCapture.h"
#include "support/TestFiles.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSignalSpy>
#include <QtTest>

#include <climits>
#include <ctime>

using namespace orvan::launcher;

namespace {

const QUrl BaseUrl(QStringLiteral("https://config.example.com/launcher/"));

TLauncherConfigurationReader readerFor(const QByteArray& document, const QUrl& base = BaseUrl)
{
    return TLauncherConfigurationReader(document, base);
}

// Sets TZ for the process while it lives; local-time conversions follow it at once.
class TTimeZoneOverride
{
public:
    explicit TTimeZoneOverride(const QByteArray& zone)
        : m_previous(qgetenv("TZ")), m_wasSet(qEnvironmentVariableIsSet("TZ"))
    {
        qputenv("TZ", zone);
        tzset();
    }
    ~TTimeZoneOverride()
    {
        if (m_wasSet)
            qputenv("TZ", m_previous);
        else
            qunsetenv("TZ");
        tzset();
    }
    TTimeZoneOverride(const TTimeZoneOverride&) = delete;
    TTimeZoneOverride& operator=(const TTimeZoneOverride&) = delete;

private:
    QByteArray m_previous;
    bool m_wasSet;
};

// A document with one package that has one build whose keys are given as JSON text.
QByteArray documentWithBuild(const QByteArray& buildKeys)
{
    return R"({"packages": [{"name": "p", "builds": [{)" + buildKeys + "}]}]}";
}

} // namespace

class TestLauncherConfiguration : public QObject
{
    Q_OBJECT

private slots:
    void realisticDocument();
    void emptyOrNonObjectDocumentGivesEmptyConfiguration_data();
    void emptyOrNonObjectDocumentGivesEmptyConfiguration();
    void invalidJsonThrowsWithParserText_data();
    void invalidJsonThrowsWithParserText();
    void packagesUpToTheCapAreAccepted();
    void wrongTypesTakeDefaults();
    void serviceUrlsAreNotResolved();
    void buildUrlResolution_data();
    void buildUrlResolution();
    void assetsUrlOnlyWhenGiven_data();
    void assetsUrlOnlyWhenGiven();
    void mirrorsKeepOnlyHttpBaseUrls_data();
    void mirrorsKeepOnlyHttpBaseUrls();
    void systemAndArchitectureNames_data();
    void systemAndArchitectureNames();
    void firstMatchingBuildWins();
    void packageWithoutBuildsHasNoCurrentBuild();
    void currentConfigurationFollowsTheBuild();
    void localStateStartsCleared();
    void statusSignalOnlyOnChange();
    void deepNestingIsRejectedWithoutCrash();
    void expiryIsReadAsUtcInAnyZone_data();
    void expiryIsReadAsUtcInAnyZone();
};

void TestLauncherConfiguration::realisticDocument()
{
    const QByteArray document = testsupport::readTestData(QStringLiteral("configuration/launchermetadata.json"));
    const TLauncherConfigurationReader reader = readerFor(document);

    QCOMPARE(reader.document(), document);
    QCOMPARE(reader.baseUrl(), BaseUrl);
    QVERIFY(reader.launcherPackage());
    QCOMPARE(reader.launcherPackage()->packageIndex(), INT_MAX);
    QCOMPARE(reader.launcherPackage()->builds().front()->url(),
             QUrl(QStringLiteral("https://config.example.com/launcher/launcher/linux/package.json")));
    QCOMPARE(reader.packages().size(), std::size_t(2));

    const TPackage& client = *reader.packages()[0];
    QCOMPARE(client.packageIndex(), 0);
    QCOMPARE(client.name(), QStringLiteral("Quenmar Online"));
    QCOMPARE(client.directoryName(), QStringLiteral("QuenmarOnline"));
    QCOMPARE(client.logoLinkTarget(), QUrl(QStringLiteral("https://www.example.com/quenmar")));
    QVERIFY(client.installAutomatically());
    QCOMPARE(client.builds().size(), std::size_t(2));
    const TPackageBuild* linux = client.buildFor(EOperatingSystem::Linux, EArchitecture::X86_64);
    QVERIFY(linux);
    QCOMPARE(linux->url(), QUrl(QStringLiteral("https://config.example.com/launcher/client/linux/package.json")));
    QCOMPARE(linux->assetsUrl(), QUrl(QStringLiteral("https://config.example.com/launcher/client/assets.json")));

    const TPackage& preview = *reader.packages()[1];
    QCOMPARE(preview.packageIndex(), 1);
    QCOMPARE(preview.logoLinkTarget(), QUrl());
    QVERIFY(!preview.installAutomatically());
    QCOMPARE(preview.builds().front()->url(),
             QUrl(QStringLiteral("https://cdn.example.com/preview/package.json?rev=3")));

    QCOMPARE(reader.hardwareSurveyUrl(), QUrl(QStringLiteral("https://survey.example.com/upload")));
    QCOMPARE(reader.hintsUrl(), QUrl(QStringLiteral("https://www.example.com/hints.json")));
    QCOMPARE(reader.funnelUrl(), QUrl(QStringLiteral("https://funnel.example.com/event")));
    QVERIFY(!reader.preventDefaultAutostart());
    QVERIFY(reader.showPackageNames());
}

void TestLauncherConfiguration::emptyOrNonObjectDocumentGivesEmptyConfiguration_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::newRow("empty object") << QByteArray("{}");
    QTest::newRow("array") << QByteArray(R"([{"packages": []}])");
    QTest::newRow("unknown keys only") << QByteArray(R"({"Packages": [{}], "LAUNCHER": {}})");
}

void TestLauncherConfiguration::emptyOrNonObjectDocumentGivesEmptyConfiguration()
{
    QFETCH(QByteArray, document);
    const TLauncherConfigurationReader reader = readerFor(document);
    QVERIFY(!reader.launcherPackage());
    QVERIFY(reader.packages().empty());
    QVERIFY(reader.hardwareSurveyUrl().isEmpty());
    QVERIFY(reader.hintsUrl().isEmpty());
    QVERIFY(reader.funnelUrl().isEmpty());
    QVERIFY(!reader.preventDefaultAutostart());
    QVERIFY(!reader.showPackageNames());
}

void TestLauncherConfiguration::invalidJsonThrowsWithParserText_data()
{
    QTest::addColumn<QByteArray>("document");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("truncated") << QByteArray(R"({"packages": [{"name": "p")");
    QTest::newRow("trailing comma") << QByteArray(R"({"hints": "x",})");
    QTest::newRow("html error page") << QByteArray("<html><body>502 Bad Gateway</body></html>");
    QTest::newRow("nul byte") << QByteArray("{\"a\":\0}", 7);
}

void TestLauncherConfiguration::invalidJsonThrowsWithParserText()
{
    QFETCH(QByteArray, document);
    QJsonParseError expected;
    QJsonDocument::fromJson(document, &expected);
    QVERIFY(expected.error != QJsonParseError::NoError);
    try {
        readerFor(document);
        QFAIL("no exception");
    } catch (const TLauncherConfigurationException& exception) {
        QCOMPARE(QString::fromUtf8(exception.what()), expected.errorString());
    }
}

void TestLauncherConfiguration::packagesUpToTheCapAreAccepted()
{
    const int count = TLauncherConfigurationReader::MaximumPackageCount;
    const QByteArray document = R"({"packages":[{})" + QByteArray(",{}").repeated(count - 1) + "]}";
    QCOMPARE(readerFor(document).packages().size(), std::size_t(count));
}

void TestLauncherConfiguration::wrongTypesTakeDefaults()
{
    const TLauncherConfigurationReader reader = readerFor(R"({
        "launcher": ["not", "an", "object"],
        "packages": [5, {"name": 7, "directoryname": true, "installautomatically": "yes", "builds": {"os": "linux"}},
                     {"builds": [3, {"os": 1, "architecture": null, "url": 4}]}],
        "hardwaresurvey": 1, "hints": {}, "funnel": [],
        "preventdefaultautostart": "true", "showpackagenames": 1
    })");
    QVERIFY(!reader.launcherPackage());
    QCOMPARE(reader.packages().size(), std::size_t(3));

    const TPackage& fromNumber = *reader.packages()[0];
    QCOMPARE(fromNumber.packageIndex(), 0);
    QVERIFY(fromNumber.name().isEmpty());
    QVERIFY(fromNumber.builds().empty());

    const TPackage& wrongFields = *reader.packages()[1];
    QCOMPARE(wrongFields.packageIndex(), 1);
    QVERIFY(wrongFields.name().isEmpty());
    QVERIFY(wrongFields.directoryName().isEmpty());
    QVERIFY(!wrongFields.installAutomatically());
    QVERIFY(wrongFields.builds().empty());

    const TPackage& wrongBuilds = *reader.packages()[2];
    QCOMPARE(wrongBuilds.builds().size(), std::size_t(2));
    for (const auto& build : wrongBuilds.builds()) {
        QCOMPARE(build->operatingSystem(), EOperatingSystem::Unknown);
        QCOMPARE(build->architecture(), EArchitecture::Unknown);
        QCOMPARE(build->url(), BaseUrl);
        QVERIFY(build->assetsUrl().isEmpty());
    }

    QVERIFY(reader.hardwareSurveyUrl().isEmpty());
    QVERIFY(reader.hintsUrl().isEmpty());
    QVERIFY(reader.funnelUrl().isEmpty());
    QVERIFY(!reader.preventDefaultAutostart());
    QVERIFY(!reader.showPackageNames());
}

void TestLauncherConfiguration::serviceUrlsAreNotResolved()
{
    const TLauncherConfigurationReader reader =
        readerFor(R"({"hints": "hints.json", "funnel": "http://f.example.com/a b"})");
    QCOMPARE(reader.hintsUrl(), QUrl(QStringLiteral("hints.json")));
    QVERIFY(reader.hintsUrl().isRelative());
    // Tolerant parsing accepts the space and encodes it.
    QCOMPARE(reader.funnelUrl().toString(QUrl::FullyEncoded), QStringLiteral("http://f.example.com/a%20b"));
}

void TestLauncherConfiguration::buildUrlResolution_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QByteArray>("urlKey");
    QTest::addColumn<QString>("expected");

    QTest::newRow("base with slash") << "http://h.example/launcher/" << QByteArray(R"("url": "client/package.json")")
                                     << "http://h.example/launcher/client/package.json";
    QTest::newRow("base without slash") << "http://h.example/launcher" << QByteArray(R"("url": "client/package.json")")
                                        << "http://h.example/launcher/client/package.json";
    QTest::newRow("both slashes stay") << "http://h.example/launcher/" << QByteArray(R"("url": "/client/package.json")")
                                       << "http://h.example/launcher//client/package.json";
    QTest::newRow("leading slash is not root")
        << "http://h.example/pkg/42" << QByteArray(R"("url": "/c/0001")") << "http://h.example/pkg/42/c/0001";
    QTest::newRow("empty base path") << "http://h.example" << QByteArray(R"("url": "package.json")")
                                     << "http://h.example/package.json";
    QTest::newRow("absolute keeps query")
        << "http://h.example/launcher/" << QByteArray(R"("url": "https://cdn.example/p.json?rev=4#top")")
        << "https://cdn.example/p.json?rev=4#top";
    QTest::newRow("relative loses own query and fragment")
        << "http://h.example/launcher/" << QByteArray(R"("url": "p.json?rev=4#top")")
        << "http://h.example/launcher/p.json";
    QTest::newRow("base query dropped, fragment stays")
        << "http://h.example/launcher/?token=1#frag" << QByteArray(R"("url": "p.json")")
        << "http://h.example/launcher/p.json#frag";
    QTest::newRow("port and user kept") << "https://u@h.example:8443/l/" << QByteArray(R"("url": "p.json")")
                                        << "https://u@h.example:8443/l/p.json";
    QTest::newRow("network path keeps base host")
        << "http://h.example/l/" << QByteArray(R"("url": "//evil.example/p.json")") << "http://h.example/l//p.json";
    QTest::newRow("encoded characters decoded once")
        << "http://h.example/my%20dir/" << QByteArray(R"("url": "sub%20dir/a b.json")")
        << "http://h.example/my%20dir/sub%20dir/a%20b.json";
    QTest::newRow("missing url is the base")
        << "http://h.example/launcher/?x=1" << QByteArray(R"("os": "linux")") << "http://h.example/launcher/";
    QTest::newRow("local file base") << "file:///home/u/.local/share/q/" << QByteArray(R"("url": "c/p.json")")
                                     << "file:///home/u/.local/share/q/c/p.json";
}

void TestLauncherConfiguration::buildUrlResolution()
{
    QFETCH(QString, base);
    QFETCH(QByteArray, urlKey);
    QFETCH(QString, expected);
    const TLauncherConfigurationReader reader = readerFor(documentWithBuild(urlKey), QUrl(base));
    QCOMPARE(reader.packages().front()->builds().front()->url().toString(QUrl::FullyEncoded), expected);
}

void TestLauncherConfiguration::assetsUrlOnlyWhenGiven_data()
{
    QTest::addColumn<QByteArray>("assetsKey");
    QTest::addColumn<QString>("expected");
    QTest::newRow("absent") << QByteArray(R"("url": "p.json")") << QString();
    QTest::newRow("relative") << QByteArray(R"("assetsurl": "a/assets.json")")
                              << "https://config.example.com/launcher/a/assets.json";
    QTest::newRow("absolute") << QByteArray(R"("assetsurl": "https://cdn.example/a.json?x=1")")
                              << "https://cdn.example/a.json?x=1";
    QTest::newRow("empty text means none") << QByteArray(R"("assetsurl": "")") << QString();
    QTest::newRow("wrong type means none") << QByteArray(R"("assetsurl": 12)") << QString();
}

void TestLauncherConfiguration::assetsUrlOnlyWhenGiven()
{
    QFETCH(QByteArray, assetsKey);
    QFETCH(QString, expected);
    const TLauncherConfigurationReader reader = readerFor(documentWithBuild(assetsKey));
    const QUrl assetsUrl = reader.packages().front()->builds().front()->assetsUrl();
    QCOMPARE(assetsUrl.toString(QUrl::FullyEncoded), expected);
    QCOMPARE(assetsUrl.isEmpty(), expected.isEmpty());
}

void TestLauncherConfiguration::mirrorsKeepOnlyHttpBaseUrls_data()
{
    QTest::addColumn<QByteArray>("mirrors");
    QTest::addColumn<QStringList>("expected");
    QTest::addColumn<int>("loggedLines");
    QTest::newRow("absent") << QByteArray() << QStringList() << 0;
    QTest::newRow("in order, made folders")
        << QByteArray(R"(, "mirrors": ["https://m1.example.com/pub", "http://127.0.0.1:8080/a/b/"])")
        << QStringList{"https://m1.example.com/pub/", "http://127.0.0.1:8080/a/b/"} << 0;
    QTest::newRow("not an array") << QByteArray(R"(, "mirrors": "https://m1.example.com/")") << QStringList() << 1;
    QTest::newRow("object") << QByteArray(R"(, "mirrors": {"a": "https://m1.example.com/"})") << QStringList() << 1;
    QTest::newRow("bad entries skipped one by one")
        << QByteArray(R"(, "mirrors": [42, "ftp://m.example.com/", "relative/path", "https://ok.example.com/x/",)"
                      R"( "https://q.example.com/?a=1", "http:///nohost", null])")
        << QStringList{"https://ok.example.com/x/"} << 6;
}

void TestLauncherConfiguration::mirrorsKeepOnlyHttpBaseUrls()
{
    QFETCH(QByteArray, mirrors);
    QFETCH(QStringList, expected);
    QFETCH(int, loggedLines);
    const testsupport::TLogCapture log(testsupport::TLogCapture::EForwarding::Nothing);
    const TLauncherConfigurationReader reader = readerFor(documentWithBuild(R"("url": "p/package.json")" + mirrors));
    const TPackageBuild& build = *reader.packages().front()->builds().front();
    QStringList read;
    for (const QUrl& url : build.mirrors())
        read << url.toString();
    QCOMPARE(read, expected);
    QCOMPARE(log.countContaining(QStringLiteral("mirror")), loggedLines);
    QCOMPARE(build.location(), QUrl(QStringLiteral("https://config.example.com/launcher/p/")));
}

void TestLauncherConfiguration::systemAndArchitectureNames_data()
{
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<int>("system");
    QTest::addColumn<int>("architecture");
    QTest::newRow("lower case") << QByteArray(R"("os": "linux", "architecture": "x86_64")") << 3 << 2;
    QTest::newRow("mixed case") << QByteArray(R"("os": "Linux", "architecture": "X86_64")") << 3 << 2;
    QTest::newRow("upper case") << QByteArray(R"("os": "LINUX", "architecture": "I386")") << 3 << 1;
    QTest::newRow("windows") << QByteArray(R"("os": "Windows", "architecture": "i386")") << 1 << 1;
    QTest::newRow("macos") << QByteArray(R"("os": "MacOS", "architecture": "x86_64")") << 2 << 2;
    QTest::newRow("unknown names") << QByteArray(R"("os": "osx", "architecture": "amd64")") << 0 << 0;
    QTest::newRow("padded names") << QByteArray(R"("os": " linux", "architecture": "x86_64 ")") << 0 << 0;
    QTest::newRow("missing") << QByteArray(R"("url": "p.json")") << 0 << 0;
}

void TestLauncherConfiguration::systemAndArchitectureNames()
{
    QFETCH(QByteArray, keys);
    QFETCH(int, system);
    QFETCH(int, architecture);
    const TLauncherConfigurationReader reader = readerFor(documentWithBuild(keys));
    const TPackageBuild& build = *reader.packages().front()->builds().front();
    QCOMPARE(static_cast<int>(build.operatingSystem()), system);
    QCOMPARE(static_cast<int>(build.architecture()), architecture);
}

void TestLauncherConfiguration::firstMatchingBuildWins()
{
    const TLauncherConfigurationReader reader = readerFor(R"({"packages": [{"builds": [
        {"os": "windows", "architecture": "x86_64", "url": "win"},
        {"os": "linux", "architecture": "i386", "url": "linux32"},
        {"os": "linux", "architecture": "x86_64", "url": "first"},
        {"os": "LINUX", "architecture": "x86_64", "url": "second"},
        {"url": "unknown"}
    ]}]})");
    const TPackage& package = *reader.packages().front();
    const TPackageBuild* build = package.buildFor(EOperatingSystem::Linux, EArchitecture::X86_64);
    QVERIFY(build);
    QVERIFY(build->url().path().endsWith(QLatin1String("/first")));
    // A build naming no known system is only chosen where the running system is unknown too.
    QVERIFY(package.buildFor(EOperatingSystem::Unknown, EArchitecture::Unknown)
                ->url()
                .path()
                .endsWith(QLatin1String("/unknown")));
    QVERIFY(!package.buildFor(EOperatingSystem::MacOS, EArchitecture::X86_64));

    if (TPackageBuild::runningOperatingSystem() != EOperatingSystem::Linux ||
        TPackageBuild::runningArchitecture() != EArchitecture::X86_64) {
        QSKIP("the current build is checked on Linux x86-64 only");
    }
    QCOMPARE(package.currentBuild(), build);
}

void TestLauncherConfiguration::packageWithoutBuildsHasNoCurrentBuild()
{
    const TLauncherConfigurationReader reader = readerFor(R"({"packages": [{"name": "no builds"}, {"builds": []}]})");
    for (const auto& package : reader.packages()) {
        QVERIFY(!package->currentBuild());
        QVERIFY(!package->currentConfiguration());
    }
}

void TestLauncherConfiguration::currentConfigurationFollowsTheBuild()
{
    const QByteArray document = R"({"packages": [{"builds": [{"os": ")" + QSysInfo::kernelType().toUtf8() +
                                R"(", "architecture": ")" + QSysInfo::buildCpuArchitecture().toUtf8() +
                                R"(", "url": "p.json"}]}]})";
    const TLauncherConfigurationReader reader = readerFor(document);
    TPackage& package = *reader.packages().front();
    TPackageBuild* build = package.currentBuild();
    if (!build) {
        QSKIP("the running system has no name the document can use");
    }
    QVERIFY(!package.currentConfiguration());

    auto first = std::make_shared<TPackageConfigurationReader>(R"({"version": "1"})", QByteArray(), QUrl(), QUrl());
    build->setConfiguration(first);
    QCOMPARE(package.currentConfiguration(), std::shared_ptr<const TPackageConfigurationReader>(first));

    // Replacing the configuration releases the old one once nobody else holds it.
    std::weak_ptr<TPackageConfigurationReader> released = first;
    first.reset();
    build->setConfiguration(
        std::make_shared<TPackageConfigurationReader>(R"({"version": "2"})", QByteArray(), QUrl(), QUrl()));
    QVERIFY(released.expired());
    QCOMPARE(package.currentConfiguration()->version(), QStringLiteral("2"));
}

void TestLauncherConfiguration::localStateStartsCleared()
{
    const TLauncherConfigurationReader reader =
        readerFor(testsupport::readTestData(QStringLiteral("configuration/launchermetadata.json")));
    for (const auto& package : reader.packages()) {
        QVERIFY(!package->packageIsUpToDateFlag());
        QVERIFY(!package->isDefault());
        QCOMPARE(package->localPackageStatus(), ELocalPackageStatus::Unknown);
        QVERIFY(!package->parent());
    }
}

void TestLauncherConfiguration::statusSignalOnlyOnChange()
{
    const TLauncherConfigurationReader reader = readerFor(R"({"packages": [{}]})");
    TPackage& package = *reader.packages().front();
    QSignalSpy spy(&package, &TPackage::localPackageStatusChanged);

    QVERIFY(!package.setLocalPackageStatus(ELocalPackageStatus::Unknown));
    QCOMPARE(spy.count(), 0);
    QVERIFY(package.setLocalPackageStatus(ELocalPackageStatus::PartiallyInstalled));
    QCOMPARE(spy.count(), 1);
    QVERIFY(!package.setLocalPackageStatus(ELocalPackageStatus::PartiallyInstalled));
    QCOMPARE(spy.count(), 1);
    QVERIFY(package.setLocalPackageStatus(ELocalPackageStatus::Installed));
    QCOMPARE(spy.count(), 2);
    QCOMPARE(package.localPackageStatus(), ELocalPackageStatus::Installed);
}

void TestLauncherConfiguration::deepNestingIsRejectedWithoutCrash()
{
    const int depth = 100000;
    const QByteArray nested = QByteArray(R"({"packages": )") + QByteArray(depth, '[') + QByteArray(depth, ']') + "}";
    QVERIFY_EXCEPTION_THROWN(readerFor(nested), TLauncherConfigurationException);
}

void TestLauncherConfiguration::expiryIsReadAsUtcInAnyZone_data()
{
    QTest::addColumn<QByteArray>("zone");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QDateTime>("expected"); // invalid: refused as malformed
    const QDateTime berlinGap(QDate(2027, 3, 28), QTime(2, 30), Qt::UTC);
    const QDateTime newYorkGap(QDate(2027, 3, 14), QTime(2, 30), Qt::UTC);
    // Times that do not exist on the local clock, where it springs forward.
    QTest::newRow("Berlin gap") << QByteArray("Europe/Berlin") << "2027-03-28T02:30:00Z" << berlinGap;
    QTest::newRow("New York gap") << QByteArray("America/New_York") << "2027-03-14T02:30:00Z" << newYorkGap;
    QTest::newRow("no Z") << QByteArray("Europe/Berlin") << "2027-03-28T02:30:00" << QDateTime();
    QTest::newRow("offset") << QByteArray("Europe/Berlin") << "2027-03-28T02:30:00+00:00" << QDateTime();
    QTest::newRow("fraction") << QByteArray("UTC") << "2027-03-28T02:30:00.5Z" << QDateTime();
    QTest::newRow("trailing newline") << QByteArray("UTC") << "2027-03-28T02:30:00Z\n" << QDateTime();
    QTest::newRow("no such day") << QByteArray("UTC") << "2027-02-30T02:30:00Z" << QDateTime();
    QTest::newRow("garbage") << QByteArray("America/New_York") << "soon" << QDateTime();
}

void TestLauncherConfiguration::expiryIsReadAsUtcInAnyZone()
{
    QFETCH(QByteArray, zone);
    QFETCH(QString, text);
    QFETCH(QDateTime, expected);
    const TTimeZoneOverride override(zone);
    const QJsonObject document{{QStringLiteral("expires"), text}};
    const TLauncherConfigurationReader reader = readerFor(QJsonDocument(document).toJson());
    QVERIFY(reader.expires().has_value());
    QCOMPARE(reader.expires()->isValid(), expected.isValid());
    if (expected.isValid()) {
        QCOMPARE(*reader.expires(), expected);
        QCOMPARE(reader.expires()->timeSpec(), Qt::UTC);
    }
}

int runLauncherConfigurationTests(int argc, char** argv)
{
    TestLauncherConfiguration test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_launcherconfiguration.moc"
