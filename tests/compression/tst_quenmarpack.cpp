#include "TTestSupport.h"
#include "support/TestFiles.h"
#include "support/TestProcess.h"
#include "support/TestRandom.h"

#include "compression/TContainerHeader.h"

#include <QTemporaryDir>
#include <QtTest>

using testsupport::pseudoRandom;
using testsupport::readFile;
using testsupport::runProcess;
using testsupport::writeFile;

namespace {

const QString Tool = testsupport::builtTool(QStringLiteral("quenmar-pack"));

} // namespace

class TestQuenmarPack : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void packThenUnpack_data();
    void packThenUnpack();
    void unpackCopiesPlainFiles();
    void badInputExitsWithOne_data();
    void badInputExitsWithOne();
    void helpDescribesCommands();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }

    std::unique_ptr<QTemporaryDir> m_dir;
};

void TestQuenmarPack::initTestCase()
{
    QVERIFY2(QFileInfo(Tool).isExecutable(), qPrintable(Tool + " is missing"));
}

void TestQuenmarPack::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestQuenmarPack::packThenUnpack_data()
{
    QTest::addColumn<QStringList>("options");
    QTest::addColumn<int>("id");
    QTest::addColumn<QByteArray>("data");
    const QByteArray text = TTestSupport::text(200000, 21);
    QTest::newRow("stored") << QStringList{"--algorithm", "stored"} << 0 << text;
    QTest::newRow("deflate") << QStringList{"--algorithm", "deflate"} << 3 << text;
    QTest::newRow("lzip") << QStringList{"--algorithm", "lzip"} << 4 << text;
    QTest::newRow("lzma") << QStringList{"--algorithm", "lzma"} << 5 << text;
    QTest::newRow("lzma noise") << QStringList{"--algorithm", "lzma"} << 5 << pseudoRandom(30000, 22);
    QTest::newRow("zstd") << QStringList{"--algorithm", "zstd"} << 7 << text;
    QTest::newRow("zstd level 15") << QStringList{"--algorithm=zstd", "--level=15"} << 7 << text;
    QTest::newRow("empty file") << QStringList{"--algorithm", "lzip"} << -1 << QByteArray();
}

void TestQuenmarPack::packThenUnpack()
{
    QFETCH(QStringList, options);
    QFETCH(int, id);
    QFETCH(QByteArray, data);
    writeFile(path("in.bin"), data);
    auto result = runProcess(Tool, QStringList{"pack"} + options + QStringList{path("in.bin"), path("packed")});
    QVERIFY2(result.exitCode == 0, result.standardError.constData());

    const QByteArray packed = readFile(path("packed"));
    shared::TContainerHeader header;
    if (id < 0) {
        QVERIFY(packed.isEmpty());
    } else {
        QCOMPARE(shared::TContainerHeader::parse(packed, header), shared::TContainerHeader::EParseResult::Valid);
        QCOMPARE(int(header.algorithmId), id);
        QCOMPARE(header.unpackedSize, quint64(data.size()));
    }

    result = runProcess(Tool, {"unpack", path("packed"), path("out.bin")});
    QVERIFY2(result.exitCode == 0, result.standardError.constData());
    QVERIFY(QFileInfo::exists(path("out.bin")));
    QCOMPARE(readFile(path("out.bin")), data);
}

void TestQuenmarPack::unpackCopiesPlainFiles()
{
    const QByteArray plain("plain bytes, no container here");
    writeFile(path("plain.txt"), plain);
    const auto result = runProcess(Tool, {"unpack", path("plain.txt"), path("copy.txt")});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(readFile(path("copy.txt")), plain);
}

void TestQuenmarPack::badInputExitsWithOne_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("unsupported container")
        << QStringList{"unpack", "IN", "OUT"} << QByteArray::fromHex("7008030361626300")
        << QByteArray("Invalid input data could not be decompressed");
    QTest::newRow("truncated container") << QStringList{"unpack", "IN", "OUT"} << QByteArray::fromHex("70040a0a4c5a")
                                         << QByteArray("Invalid input data could not be decompressed");
    QTest::newRow("missing input") << QStringList{"unpack", "MISSING", "OUT"} << QByteArray() << QByteArray("MISSING");
    QTest::newRow("pack missing input") << QStringList{"pack", "--algorithm", "lzma", "MISSING", "OUT"} << QByteArray()
                                        << QByteArray("MISSING");
    QTest::newRow("unknown algorithm") << QStringList{"pack", "--algorithm", "bzip9", "IN", "OUT"} << QByteArray("x")
                                       << QByteArray("unknown algorithm 'bzip9'");
    QTest::newRow("bad level") << QStringList{"pack", "--algorithm=lzip", "--level=12", "IN", "OUT"} << QByteArray("x")
                               << QByteArray("invalid level '12'");
    QTest::newRow("zstd level 0") << QStringList{"pack", "--algorithm", "zstd", "--level", "0", "IN", "OUT"}
                                  << QByteArray("x") << QByteArray("invalid level '0' (expected 1..19)");
    QTest::newRow("build zstd level 20") << QStringList{"build", "MISSING", "OUT", "--algorithm",
                                                        "zstd",  "--level", "20"}
                                         << QByteArray() << QByteArray("invalid level '20' (expected 1..19)");
    QTest::newRow("build delta level 0") << QStringList{"build", "MISSING", "OUT", "--delta-level", "0"} << QByteArray()
                                         << QByteArray("invalid number '0' (expected 1..19)");
}

void TestQuenmarPack::badInputExitsWithOne()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, message);
    writeFile(path("IN"), input);
    for (QString& argument : arguments) {
        if (argument == "IN" || argument == "OUT" || argument == "MISSING")
            argument = path(argument);
    }
    const auto result = runProcess(Tool, arguments);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.standardError.contains(message), result.standardError.constData());
    QVERIFY(!QFileInfo::exists(path("OUT")));
}

void TestQuenmarPack::helpDescribesCommands()
{
    auto result = runProcess(Tool, {"--help"});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.standardOutput.contains("pack") && result.standardOutput.contains("unpack"));
    result = runProcess(Tool, {"pack", "--help"});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.standardOutput.contains("stored|deflate|lzip|lzma"));
    result = runProcess(Tool, {"frobnicate"});
    QVERIFY(result.exitCode != 0);
    QVERIFY(result.standardError.contains("unknown command"));
}

QTEST_GUILESS_MAIN(TestQuenmarPack)
#include "tst_quenmarpack.moc"
