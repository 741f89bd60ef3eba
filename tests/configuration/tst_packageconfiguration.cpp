#include "configuration/TPackageConfigurationReader.h"
#include "configuration/VersionText.h"

#include "support/TestFiles.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QtTest>

#include <limits>

using namespace orvan::launcher;

namespace {

const QUrl PackageBase(QStringLiteral("https://cdn.example.com/pkg/42/"));
const QUrl AssetsBase(QStringLiteral("https://cdn.example.com/assets/7/"));

TPackageConfigurationReader readerFor(const QByteArray& package, const QByteArray& asset = QByteArray())
{
    return TPackageConfigurationReader(package, asset, PackageBase, AssetsBase);
}

// A package document with a single file object whose keys are given as JSON text.
TFileInPackage singleFile(const QByteArray& fileKeys)
{
    const TPackageConfigurationReader reader = readerFor(R"({"files": [{)" + fileKeys + "}]}");
    if (reader.files().size() != 1) {
        qFatal("expected one file");
    }
    return reader.files().front();
}

TChunkInPackage singleChunk(const QByteArray& chunkKeys)
{
    const TPackageConfigurationReader reader = readerFor(R"({"chunks": [{)" + chunkKeys + "}]}");
    if (reader.chunks().size() != 1) {
        qFatal("expected one chunk");
    }
    return reader.chunks().front();
}

QStringList localFiles(const TPackageConfigurationReader& reader)
{
    QStringList names;
    for (const TFileInPackage& file : reader.files()) {
        names.append(file.localFile);
    }
    return names;
}

} // namespace

class TestPackageConfiguration : public QObject
{
    Q_OBJECT

private slots:
    void packageAndAssetDocuments();
    void unparsableDocumentsInvalidateTheReader_data();
    void unparsableDocumentsInvalidateTheReader();
    void wrongTypesNeverFail();
    void generationAndVariant_data();
    void generationAndVariant();
    void assetsVersionAsNumberOrText_data();
    void assetsVersionAsNumberOrText();
    void hashesOfEitherCase_data();
    void hashesOfEitherCase();
    void sizes_data();
    void sizes();
    void unpackDefaultsToTrue_data();
    void unpackDefaultsToTrue();
    void urlResolution_data();
    void urlResolution();
    void filesSortedByUtf16CodeUnits();
    void findByLocalFile_data();
    void findByLocalFile();
    void chunkIndicesOutOfRange_data();
    void chunkIndicesOutOfRange();
    void chunkSizesMustAddUp_data();
    void chunkSizesMustAddUp();
    void patches();
    void versionText_data();
    void versionText();
    void hugeAndDeepDocuments();
    void recordLimitCoversBothDocuments();
    void recordListsReadInBatchesAsAWhole_data();
    void recordListsReadInBatchesAsAWhole();
};

void TestPackageConfiguration::packageAndAssetDocuments()
{
    const QByteArray package = testsupport::readTestData(QStringLiteral("configuration/package.json"));
    const QByteArray asset = testsupport::readTestData(QStringLiteral("configuration/assets.json"));
    const TPackageConfigurationReader reader = readerFor(package, asset);

    QVERIFY(reader.isValid());
    QCOMPARE(reader.packageDocument(), package);
    QCOMPARE(reader.assetDocument(), asset);
    QCOMPARE(reader.packageBaseUrl(), PackageBase);
    QCOMPARE(reader.assetsBaseUrl(), AssetsBase);
    QCOMPARE(reader.version(), QStringLiteral("1.4.2"));
    QCOMPARE(reader.assetsVersion(), QStringLiteral("7"));
    QCOMPARE(reader.generation(), EPackageGeneration::Second);
    QCOMPARE(reader.variant(), EPackageVariant::Regular);
    QCOMPARE(reader.executable(), QStringLiteral("bin/quenmar-client"));
    QCOMPARE(reader.parameters(), QStringList({QStringLiteral("--renderer"), QStringLiteral("vulkan")}));

    // Package chunks first, then asset chunks, each in document order.
    QCOMPARE(reader.chunks().size(), std::size_t(3));
    QCOMPARE(reader.chunks()[0].url, QUrl(QStringLiteral("https://cdn.example.com/pkg/42/c/0001")));
    QCOMPARE(reader.chunks()[0].packedSize, quint64(1200));
    QCOMPARE(reader.chunks()[0].packedHash, QByteArray::fromHex("ab01"));
    QCOMPARE(reader.chunks()[0].unpackedSize, quint64(4096));
    QCOMPARE(reader.chunks()[0].unpackedHash.size(), 32);
    QVERIFY(reader.chunks()[0].unpack);
    QVERIFY(!reader.chunks()[1].unpack);
    QCOMPARE(reader.chunks()[2].url, QUrl(QStringLiteral("https://cdn.example.com/assets/7/a/0001")));

    QCOMPARE(localFiles(reader), QStringList({QStringLiteral("assets/music.ogg"), QStringLiteral("bin/quenmar-client"),
                                              QStringLiteral("data/world.pak")}));
    const TFileInPackage& music = reader.files()[0];
    QCOMPARE(music.chunkIndices, std::vector<qint32>({2}));
    QVERIFY(reader.hasValidChunkIndices(music));
    QVERIFY(reader.chunksAddUpToFileSize(music));

    const TFileInPackage& client = reader.files()[1];
    QVERIFY(client.executable);
    QVERIFY(client.chunkIndices.empty());
    QVERIFY(client.hasWholeFileDownload());
    QCOMPARE(client.download.url, QUrl(QStringLiteral("https://cdn.example.com/pkg/42/f/quenmar-client.lzma")));
    QCOMPARE(client.download.packedSize, quint64(120));
    QCOMPARE(client.download.unpackedSize, quint64(300));
    QCOMPARE(client.download.unpackedHash, client.unpackedHash);

    const TFileInPackage& world = reader.files()[2];
    QVERIFY(!world.executable);
    QVERIFY(!world.hasWholeFileDownload());
    QCOMPARE(world.chunkIndices, std::vector<qint32>({0, 1}));
    QVERIFY(reader.chunksAddUpToFileSize(world));
}

void TestPackageConfiguration::unparsableDocumentsInvalidateTheReader_data()
{
    QTest::addColumn<QByteArray>("package");
    QTest::addColumn<QByteArray>("asset");
    QTest::addColumn<QString>("critical");
    const QByteArray good = R"({"version": "3", "files": [{"localfile": "a"}], "chunks": [{}]})";
    const QString packageFailed =
        QStringLiteral("JSON package configuration file could not be parsed, using default package.");
    const QString assetFailed =
        QStringLiteral("JSON asset configuration file could not be parsed, using default package.");
    QTest::newRow("no asset document") << good << QByteArray() << QString();
    QTest::newRow("asset document not an object") << good << QByteArray(R"([{"version": 9}])") << QString();
    QTest::newRow("package document not an object") << QByteArray("[1, 2]") << QByteArray() << QString();
    QTest::newRow("truncated package") << QByteArray(R"({"version": "3", "files": [)") << QByteArray() << packageFailed;
    QTest::newRow("empty package") << QByteArray() << QByteArray(R"({"version": 1})") << packageFailed;
    QTest::newRow("both broken") << QByteArray("{") << QByteArray("{") << packageFailed;
    QTest::newRow("unparsable asset") << good << QByteArray(R"({"version": 1,)") << assetFailed;
    QTest::newRow("error page as asset") << good << QByteArray("<html>404</html>") << assetFailed;
}

void TestPackageConfiguration::unparsableDocumentsInvalidateTheReader()
{
    QFETCH(QByteArray, package);
    QFETCH(QByteArray, asset);
    QFETCH(QString, critical);
    if (!critical.isEmpty()) {
        QTest::ignoreMessage(QtCriticalMsg, qPrintable(critical));
    }
    const TPackageConfigurationReader reader = readerFor(package, asset);
    QCOMPARE(reader.isValid(), critical.isEmpty());
    QCOMPARE(reader.packageDocument(), package);
    QCOMPARE(reader.assetDocument(), asset);
    if (!reader.isValid()) {
        // Nothing of a document pair is used when either half is broken.
        QVERIFY(reader.version().isEmpty());
        QVERIFY(reader.assetsVersion().isEmpty());
        QVERIFY(reader.files().empty());
        QVERIFY(reader.chunks().empty());
    }
}

void TestPackageConfiguration::wrongTypesNeverFail()
{
    const TPackageConfigurationReader reader = readerFor(
        R"({"version": 3, "executable": ["x"], "generation": 1, "variant": true,
            "chunks": {"url": "c"}, "files": {"localfile": "a"}, "parameters": ["-a", 5, null, "-b", {}]})",
        R"({"version": null, "chunks": "x", "files": [7, "f", {"localfile": 4, "unpackedsize": {},
            "unpackedhash": 5, "executable": "yes", "chunks": "0", "patches": {}, "url": 3}]})");
    QVERIFY(reader.isValid());
    QVERIFY(reader.version().isEmpty());
    QVERIFY(reader.executable().isEmpty());
    QCOMPARE(reader.generation(), EPackageGeneration::Unknown);
    QCOMPARE(reader.variant(), EPackageVariant::Unknown);
    QVERIFY(reader.chunks().empty());
    QCOMPARE(reader.parameters(), QStringList({QStringLiteral("-a"), QStringLiteral("-b")}));
    QVERIFY(reader.assetsVersion().isEmpty());
    QCOMPARE(reader.files().size(), std::size_t(3));
    for (const TFileInPackage& file : reader.files()) {
        QVERIFY(file.localFile.isEmpty());
        QCOMPARE(file.unpackedSize, quint64(0));
        QVERIFY(file.unpackedHash.isEmpty());
        QVERIFY(!file.executable);
        QVERIFY(file.chunkIndices.empty());
        QVERIFY(file.patches.empty());
        QVERIFY(!file.hasWholeFileDownload());
    }
}

void TestPackageConfiguration::generationAndVariant_data()
{
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<int>("generation");
    QTest::addColumn<int>("variant");
    QTest::newRow("first regular") << QByteArray(R"("generation": "first", "variant": "regular")") << 1 << 1;
    QTest::newRow("second preview") << QByteArray(R"("generation": "second", "variant": "preview")") << 2 << 2;
    QTest::newRow("beta") << QByteArray(R"("variant": "beta")") << 0 << 3;
    QTest::newRow("test") << QByteArray(R"("variant": "test")") << 0 << 4;
    QTest::newRow("case matters") << QByteArray(R"("generation": "First", "variant": "BETA")") << 0 << 0;
    QTest::newRow("unknown") << QByteArray(R"("generation": "third", "variant": "alpha")") << 0 << 0;
}

void TestPackageConfiguration::generationAndVariant()
{
    QFETCH(QByteArray, keys);
    QFETCH(int, generation);
    QFETCH(int, variant);
    const TPackageConfigurationReader reader = readerFor("{" + keys + "}");
    QCOMPARE(static_cast<int>(reader.generation()), generation);
    QCOMPARE(static_cast<int>(reader.variant()), variant);
}

void TestPackageConfiguration::assetsVersionAsNumberOrText_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("number") << QByteArray("7") << "7";
    QTest::newRow("text") << QByteArray(R"("7")") << "7";
    QTest::newRow("fraction truncated") << QByteArray("7.9") << "7";
    QTest::newRow("negative") << QByteArray("-3") << "-3";
    QTest::newRow("large integer") << QByteArray("4294967296") << "4294967296";
    QTest::newRow("beyond 64 bits") << QByteArray("1e20") << "100000000000000000000";
    QTest::newRow("bool") << QByteArray("true") << "true";
    QTest::newRow("null") << QByteArray("null") << "";
    QTest::newRow("array") << QByteArray("[7]") << "";
}

void TestPackageConfiguration::assetsVersionAsNumberOrText()
{
    QFETCH(QByteArray, value);
    QFETCH(QString, expected);
    const TPackageConfigurationReader reader = readerFor("{}", R"({"version": )" + value + "}");
    QVERIFY(reader.isValid());
    QCOMPARE(reader.assetsVersion(), expected);
}

void TestPackageConfiguration::hashesOfEitherCase_data()
{
    QTest::addColumn<QByteArray>("hashKey");
    QTest::addColumn<QByteArray>("expected");
    const QByteArray bytes = QByteArray::fromHex("00ff10abcdef");
    QTest::newRow("lower case") << QByteArray(R"("unpackedhash": "00ff10abcdef")") << bytes;
    QTest::newRow("upper case") << QByteArray(R"("unpackedhash": "00FF10ABCDEF")") << bytes;
    QTest::newRow("mixed case") << QByteArray(R"("unpackedhash": "00Ff10aBcDeF")") << bytes;
    QTest::newRow("odd length") << QByteArray(R"("unpackedhash": "00ff1")") << QByteArray();
    QTest::newRow("not hex") << QByteArray(R"("unpackedhash": "00fg10")") << QByteArray();
    QTest::newRow("spaces") << QByteArray(R"("unpackedhash": "00 ff 10")") << QByteArray();
    QTest::newRow("number") << QByteArray(R"("unpackedhash": 1234)") << QByteArray();
    QTest::newRow("missing") << QByteArray(R"("localfile": "x")") << QByteArray();
}

void TestPackageConfiguration::hashesOfEitherCase()
{
    QFETCH(QByteArray, hashKey);
    QFETCH(QByteArray, expected);
    const TFileInPackage file = singleFile(hashKey);
    QCOMPARE(file.unpackedHash, expected);
    QCOMPARE(file.download.unpackedHash, expected);
}

void TestPackageConfiguration::sizes_data()
{
    QTest::addColumn<QByteArray>("value");
    QTest::addColumn<quint64>("expected");
    QTest::newRow("number") << QByteArray("123") << quint64(123);
    QTest::newRow("numeric text") << QByteArray(R"("456")") << quint64(456);
    QTest::newRow("text beyond double precision")
        << QByteArray(R"("9007199254740993")") << quint64(9007199254740993ULL);
    QTest::newRow("largest 64-bit text") << QByteArray(R"("18446744073709551615")")
                                         << std::numeric_limits<quint64>::max();
    QTest::newRow("fraction") << QByteArray("1.75") << quint64(1);
    QTest::newRow("negative") << QByteArray("-1") << quint64(0);
    QTest::newRow("negative text") << QByteArray(R"("-1")") << quint64(0);
    QTest::newRow("too large") << QByteArray("1e30") << quint64(0);
    QTest::newRow("not a number text") << QByteArray(R"("12kB")") << quint64(0);
    QTest::newRow("bool") << QByteArray("true") << quint64(0);
    QTest::newRow("null") << QByteArray("null") << quint64(0);
}

void TestPackageConfiguration::sizes()
{
    QFETCH(QByteArray, value);
    QFETCH(quint64, expected);
    const TChunkInPackage chunk = singleChunk(R"("packedsize": )" + value + R"(, "unpackedsize": )" + value);
    QCOMPARE(chunk.packedSize, expected);
    QCOMPARE(chunk.unpackedSize, expected);
    QCOMPARE(singleFile(R"("unpackedsize": )" + value).unpackedSize, expected);
}

void TestPackageConfiguration::unpackDefaultsToTrue_data()
{
    QTest::addColumn<QByteArray>("keys");
    QTest::addColumn<bool>("unpack");
    QTest::newRow("missing") << QByteArray(R"("url": "c")") << true;
    QTest::newRow("true") << QByteArray(R"("unpack": true)") << true;
    QTest::newRow("false") << QByteArray(R"("unpack": false)") << false;
    QTest::newRow("text false is not a bool") << QByteArray(R"("unpack": "false")") << true;
    QTest::newRow("zero is not a bool") << QByteArray(R"("unpack": 0)") << true;
}

void TestPackageConfiguration::unpackDefaultsToTrue()
{
    QFETCH(QByteArray, keys);
    QFETCH(bool, unpack);
    QCOMPARE(singleChunk(keys).unpack, unpack);
    QCOMPARE(singleFile(keys).download.unpack, unpack);
}

void TestPackageConfiguration::urlResolution_data()
{
    QTest::addColumn<QString>("base");
    QTest::addColumn<QString>("url");
    QTest::addColumn<QString>("expected");
    QTest::newRow("base without slash") << "http://h.example/pkg/42"
                                        << "c/0001"
                                        << "http://h.example/pkg/42/c/0001";
    QTest::newRow("base with slash") << "http://h.example/pkg/42/"
                                     << "c/0001"
                                     << "http://h.example/pkg/42/c/0001";
    QTest::newRow("leading slash appended") << "http://h.example/pkg/42"
                                            << "/c/0001"
                                            << "http://h.example/pkg/42/c/0001";
    QTest::newRow("base query dropped") << "http://h.example/pkg/42?sig=abc"
                                        << "c/0001"
                                        << "http://h.example/pkg/42/c/0001";
    QTest::newRow("relative query dropped") << "http://h.example/pkg/"
                                            << "c/0001?v=2"
                                            << "http://h.example/pkg/c/0001";
    QTest::newRow("absolute untouched") << "http://h.example/pkg/"
                                        << "https://mirror.example/c/1?v=2"
                                        << "https://mirror.example/c/1?v=2";
    QTest::newRow("dot segments kept for the server") << "http://h.example/pkg/"
                                                      << "../../etc/passwd"
                                                      << "http://h.example/pkg/../../etc/passwd";
    QTest::newRow("empty url stays empty") << "http://h.example/pkg/"
                                           << ""
                                           << "";
}

void TestPackageConfiguration::urlResolution()
{
    QFETCH(QString, base);
    QFETCH(QString, url);
    QFETCH(QString, expected);
    const QByteArray quoted = QJsonDocument(QJsonArray({url})).toJson(QJsonDocument::Compact).mid(1).chopped(1);
    const QByteArray document = R"({"chunks": [{"url": )" + quoted + R"(}], "files": [{"localfile": "f", "url": )" +
                                quoted + R"(, "patches": [{"url": )" + quoted + "}]}]}";
    const TPackageConfigurationReader reader(document, QByteArray(), QUrl(base), QUrl());
    QCOMPARE(reader.chunks().front().url.toString(QUrl::FullyEncoded), expected);
    QCOMPARE(reader.files().front().download.url.toString(QUrl::FullyEncoded), expected);
    QCOMPARE(reader.files().front().patches.front().url.toString(QUrl::FullyEncoded), expected);
    QCOMPARE(reader.chunks().front().url.isEmpty(), url.isEmpty());
}

void TestPackageConfiguration::filesSortedByUtf16CodeUnits()
{
    // U+1F600 is stored as the surrogates D83D DE00, so it sorts before U+FFFD although its code
    // point is larger.
    const TPackageConfigurationReader reader = readerFor(
        R"({"files": [{"localfile": "b"}, {"localfile": "A"}, {"localfile": "\ufffd"}, {"localfile": "a"}]})",
        R"({"files": [{"localfile": "\ud83d\ude00"}, {"localfile": "Z"}, {"localfile": "a/b"}, {"localfile": "a-b"}]})");
    const QStringList expected = {QStringLiteral("A"),
                                  QStringLiteral("Z"),
                                  QStringLiteral("a"),
                                  QStringLiteral("a-b"),
                                  QStringLiteral("a/b"),
                                  QStringLiteral("b"),
                                  QString::fromUcs4(U"\U0001F600"),
                                  QString(QChar(0xFFFD))};
    QCOMPARE(localFiles(reader), expected);
}

void TestPackageConfiguration::findByLocalFile_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<int>("expectedPosition");
    QTest::newRow("first") << "A" << 0;
    QTest::newRow("middle") << "b" << 2;
    QTest::newRow("last") << "c/d" << 3;
    QTest::newRow("before all") << "0" << -1;
    QTest::newRow("between") << "B" << -1;
    QTest::newRow("after all") << "zz" << -1;
    QTest::newRow("prefix of an entry") << "c" << -1;
    QTest::newRow("different case") << "C/D" << -1;
    QTest::newRow("empty") << "" << -1;
}

void TestPackageConfiguration::findByLocalFile()
{
    QFETCH(QString, name);
    QFETCH(int, expectedPosition);
    const TPackageConfigurationReader reader =
        readerFor(R"({"files": [{"localfile": "c/d"}, {"localfile": "b"}, {"localfile": "a"}, {"localfile": "A"}]})");
    const TFileInPackageVector& files = reader.files();
    const auto found = files.find(name);
    QCOMPARE(found == files.end() ? -1 : int(found - files.begin()), expectedPosition);

    TFileInPackageVector copy = files;
    const auto mutableFound = copy.find(name);
    QCOMPARE(mutableFound == copy.end() ? -1 : int(mutableFound - copy.begin()), expectedPosition);
}

void TestPackageConfiguration::chunkIndicesOutOfRange_data()
{
    QTest::addColumn<QByteArray>("indices");
    QTest::addColumn<bool>("valid");
    // The package document has two chunks and the asset document one, so 0..2 are valid.
    QTest::newRow("all in range") << QByteArray("[0, 1, 2]") << true;
    QTest::newRow("asset chunk by combined index") << QByteArray("[2]") << true;
    QTest::newRow("repeated index") << QByteArray("[1, 1]") << true;
    QTest::newRow("one past the end") << QByteArray("[0, 3]") << false;
    QTest::newRow("negative") << QByteArray("[-1]") << false;
    QTest::newRow("largest int") << QByteArray("[2147483647]") << false;
    QTest::newRow("beyond 32 bits") << QByteArray("[4294967296]") << false;
    QTest::newRow("fraction") << QByteArray("[0.5]") << false;
    QTest::newRow("index as text") << QByteArray(R"(["0"])") << false;
    QTest::newRow("null entry") << QByteArray("[null]") << false;
    QTest::newRow("no chunks") << QByteArray("[]") << true;
}

void TestPackageConfiguration::chunkIndicesOutOfRange()
{
    QFETCH(QByteArray, indices);
    QFETCH(bool, valid);
    if (!valid) {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("1 files with chunk indices outside")));
    }
    const TPackageConfigurationReader reader = readerFor(
        R"({"chunks": [{}, {}], "files": [{"localfile": "f", "chunks": )" + indices + "}]}", R"({"chunks": [{}]})");
    QVERIFY(reader.isValid());
    QCOMPARE(reader.chunks().size(), std::size_t(3));
    const TFileInPackage& file = reader.files().front();
    QCOMPARE(reader.hasValidChunkIndices(file), valid);
    QCOMPARE(file.hasValidChunkIndices(reader.chunks().size()), valid);
    // The indices are kept so that the caller can still see them.
    QCOMPARE(int(file.chunkIndices.size()), QJsonDocument::fromJson(indices).array().size());
}

void TestPackageConfiguration::chunkSizesMustAddUp_data()
{
    QTest::addColumn<QByteArray>("fileKeys");
    QTest::addColumn<bool>("addsUp");
    QTest::addColumn<bool>("badIndex");
    QTest::newRow("exact sum") << QByteArray(R"("unpackedsize": 30, "chunks": [0, 1])") << true << false;
    QTest::newRow("short") << QByteArray(R"("unpackedsize": 29, "chunks": [0, 1])") << false << false;
    QTest::newRow("whole file") << QByteArray(R"("unpackedsize": 5, "url": "f")") << true << false;
    // 10 + 2 * (2^63 + 5) wraps around to exactly 20.
    QTest::newRow("sum wraps around") << QByteArray(R"("unpackedsize": 20, "chunks": [0, 2, 2])") << false << false;
    QTest::newRow("bad index") << QByteArray(R"("unpackedsize": 10, "chunks": [0, 9])") << false << true;
}

void TestPackageConfiguration::chunkSizesMustAddUp()
{
    QFETCH(QByteArray, fileKeys);
    QFETCH(bool, addsUp);
    QFETCH(bool, badIndex);
    if (badIndex) {
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(QStringLiteral("chunk indices outside")));
    }
    const TPackageConfigurationReader reader =
        readerFor(R"({"chunks": [{"unpackedsize": 10}, {"unpackedsize": 20}, {"unpackedsize": "9223372036854775813"}],
                      "files": [{"localfile": "f", )" +
                  fileKeys + "}]}");
    QCOMPARE(reader.chunksAddUpToFileSize(reader.files().front()), addsUp);
}

void TestPackageConfiguration::patches()
{
    const TFileInPackage file = singleFile(R"("localfile": "f", "patches": [
        {"url": "p/1", "fromversion": 41, "toversion": 42, "size": 77},
        {"fromversion": "x", "toversion": 2.5, "size": 1e12},
        3])");
    QCOMPARE(file.patches.size(), std::size_t(3));
    QCOMPARE(file.patches[0].url, QUrl(QStringLiteral("https://cdn.example.com/pkg/42/p/1")));
    QCOMPARE(file.patches[0].fromVersion, QStringLiteral("41"));
    QCOMPARE(file.patches[0].toVersion, QStringLiteral("42"));
    QCOMPARE(file.patches[0].size, qint64(77));
    QVERIFY(file.patches[1].url.isEmpty());
    QCOMPARE(file.patches[1].fromVersion, QStringLiteral("0"));
    QCOMPARE(file.patches[1].toVersion, QStringLiteral("0"));
    QCOMPARE(file.patches[1].size, qint64(0));
    QCOMPARE(file.patches[2].size, qint64(0));
}

void TestPackageConfiguration::versionText_data()
{
    QTest::addColumn<QByteArray>("package");
    QTest::addColumn<QByteArray>("asset");
    QTest::addColumn<QString>("expected");
    QTest::newRow("both") << QByteArray(R"({"version": "1.2"})") << QByteArray(R"({"version": 7})") << "P1.2 A7";
    QTest::newRow("no asset document") << QByteArray(R"({"version": "1.2"})") << QByteArray() << "P1.2 A?";
    QTest::newRow("no versions") << QByteArray("{}") << QByteArray("{}") << "P? A?";
    QTest::newRow("placeholder in version")
        << QByteArray(R"({"version": "%2"})") << QByteArray(R"({"version": "x"})") << "P%2 Ax";
    QTest::newRow("documents not objects") << QByteArray("[1, 2]") << QByteArray("{}") << "P? A?";
}

void TestPackageConfiguration::versionText()
{
    QFETCH(QByteArray, package);
    QFETCH(QByteArray, asset);
    QFETCH(QString, expected);
    QCOMPARE(orvan::launcher::versionText(readerFor(package, asset)), expected);
}

void TestPackageConfiguration::hugeAndDeepDocuments()
{
    const int count = 200000;
    QByteArray chunks = "[";
    for (int i = 0; i < count; ++i) {
        chunks += i == 0 ? "{}" : ",{}";
    }
    chunks += "]";
    const TPackageConfigurationReader huge =
        readerFor(R"({"chunks": )" + chunks + R"(, "files": [{"chunks": [199999]}]})");
    QVERIFY(huge.isValid());
    QCOMPARE(huge.chunks().size(), std::size_t(count));
    QVERIFY(huge.hasValidChunkIndices(huge.files().front()));

    const int depth = 100000;
    const QByteArray deep = QByteArray(R"({"files": )") + QByteArray(depth, '[') + QByteArray(depth, ']') + "}";
    QTest::ignoreMessage(QtCriticalMsg, "JSON package configuration file could not be parsed, using default package.");
    QVERIFY(!readerFor(deep).isValid());
    QTest::ignoreMessage(QtCriticalMsg, "JSON asset configuration file could not be parsed, using default package.");
    QVERIFY(!readerFor("{}", deep).isValid());

    QCOMPARE(TPackageConfigurationReader().isValid(), false);
    QVERIFY(TPackageConfigurationReader().files().empty());
    QCOMPARE(orvan::launcher::versionText(TPackageConfigurationReader()), QStringLiteral("P? A?"));
}

void TestPackageConfiguration::recordLimitCoversBothDocuments()
{
    const auto emptyObjects = [](int count) -> QByteArray {
        QByteArray list = "[";
        for (int i = 0; i < count; ++i) {
            list += i == 0 ? "{}" : ",{}";
        }
        return list + "]";
    };
    const int limit = TPackageConfigurationReader::MaximumRecordCount;
    const QByteArray atLimit = R"({"chunks": )" + emptyObjects(limit - 1) + R"(, "files": [{"localfile": "a"}]})";
    const TPackageConfigurationReader accepted = readerFor(atLimit);
    QVERIFY(accepted.isValid());
    // Copies share the parsed records instead of duplicating them.
    const TPackageConfigurationReader copy = accepted;
    QCOMPARE(&copy.chunks(), &accepted.chunks());

    const QString refused = QStringLiteral("JSON package configuration lists %1 files and chunks, more than the %2 "
                                           "the launcher handles, using default package.")
                                .arg(limit + 1)
                                .arg(limit);
    QTest::ignoreMessage(QtCriticalMsg, qPrintable(refused));
    const TPackageConfigurationReader overLimit = readerFor(atLimit, R"({"version": 2, "files": [{}]})");
    QVERIFY(!overLimit.isValid());
    QVERIFY(overLimit.chunks().empty());
    QVERIFY(overLimit.files().empty());
    QCOMPARE(overLimit.packageDocument(), atLimit);
}

void TestPackageConfiguration::recordListsReadInBatchesAsAWhole_data()
{
    QTest::addColumn<QByteArray>("package");
    QTest::addColumn<bool>("valid");
    const auto chunkList = [](int count, const QByteArray& last) -> QByteArray {
        QByteArray list = "[";
        for (int i = 0; i < count; ++i)
            list += R"({"url": "c/)" + QByteArray::number(i) + R"("},)";
        return list + last + "]";
    };
    QTest::newRow("brackets and quotes in strings")
        << QByteArray(R"({"files": [{"localfile": "a]\"}{[,"}, {"localfile": "b"}], "chunks": [{"url": "x,]"}]})")
        << true;
    QTest::newRow("files before chunks, any whitespace")
        << QByteArray("\n{ \"files\" :\t[ {\"localfile\": \"a\", \"chunks\": [0]} ] , \"chunks\" : [ {} ] }\r\n")
        << true;
    QTest::newRow("escaped key") << QByteArray(R"({"fil\u0065s": [{"localfile": "a"}]})") << true;
    QTest::newRow("repeated key") << QByteArray(R"({"files": [{"localfile": "a"}], "files": [{"localfile": "b"}]})")
                                  << true;
    QTest::newRow("repeated key, not a list") << QByteArray(R"({"files": [{"localfile": "a"}], "files": 0})") << true;
    QTest::newRow("several batches") << QByteArray(R"({"chunks": )" + chunkList(9000, "{}") + "}") << true;
    QTest::newRow("error in a later batch")
        << QByteArray(R"({"chunks": )" + chunkList(9000, "{\"url\":}") + "}") << false;
    QTest::newRow("trailing comma") << QByteArray(R"({"files": [{},]})") << false;
    QTest::newRow("missing comma") << QByteArray(R"({"files": [{} {}]})") << false;
    QTest::newRow("broken element") << QByteArray(R"({"chunks": [{"unpack": tru}]})") << false;
    QTest::newRow("text after the object") << QByteArray(R"({"files": []} x)") << false;
    QTest::newRow("unclosed list") << QByteArray(R"({"files": [{"localfile": "a"})") << false;
}

void TestPackageConfiguration::recordListsReadInBatchesAsAWhole()
{
    QFETCH(QByteArray, package);
    QFETCH(bool, valid);
    if (!valid)
        QTest::ignoreMessage(QtCriticalMsg,
                             "JSON package configuration file could not be parsed, using default package.");
    const TPackageConfigurationReader reader = readerFor(package);
    QCOMPARE(reader.isValid(), valid);
    if (!valid)
        return;
    // The document parsed whole is the reference.
    const QJsonObject whole = QJsonDocument::fromJson(package).object();
    QStringList expectedFiles;
    for (const QJsonValue& file : whole.value(QLatin1String("files")).toArray())
        expectedFiles.append(file.toObject().value(QLatin1String("localfile")).toString());
    expectedFiles.sort();
    QCOMPARE(localFiles(reader), expectedFiles);
    const QJsonArray chunks = whole.value(QLatin1String("chunks")).toArray();
    QCOMPARE(reader.chunks().size(), static_cast<std::size_t>(chunks.size()));
    for (int i = 0; i < chunks.size(); ++i) {
        const QString url = chunks.at(i).toObject().value(QLatin1String("url")).toString();
        QCOMPARE(reader.chunks()[static_cast<std::size_t>(i)].url.isEmpty(), url.isEmpty());
        QVERIFY(reader.chunks()[static_cast<std::size_t>(i)].url.path().endsWith(url));
    }
}

int runPackageConfigurationTests(int argc, char** argv)
{
    TestPackageConfiguration test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_packageconfiguration.moc"
