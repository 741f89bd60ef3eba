#include "TTestSupport.h"

#include "compression/TContainerHeader.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

const QString Tool = QStringLiteral(QUENMAR_BINARY_DIR "/bin/quenmar-pack");

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& data)
{
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly));
    QCOMPARE(file.write(data), qint64(data.size()));
}

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
    QTest::addColumn<QString>("algorithm");
    QTest::addColumn<int>("id");
    QTest::addColumn<QByteArray>("data");
    const QByteArray text = TTestSupport::text(200000, 21);
    QTest::newRow("stored") << "stored" << 0 << text;
    QTest::newRow("deflate") << "deflate" << 3 << text;
    QTest::newRow("lzip") << "lzip" << 4 << text;
    QTest::newRow("lzma") << "lzma" << 5 << text;
    QTest::newRow("lzma noise") << "lzma" << 5 << TTestSupport::noise(30000, 22);
    QTest::newRow("empty file") << "lzip" << -1 << QByteArray();
}

void TestQuenmarPack::packThenUnpack()
{
    QFETCH(QString, algorithm);
    QFETCH(int, id);
    QFETCH(QByteArray, data);
    writeAll(path("in.bin"), data);
    auto result = TTestSupport::run(Tool, {"pack", "--algorithm", algorithm, path("in.bin"), path("packed")});
    QVERIFY2(result.exitCode == 0, result.err.constData());

    const QByteArray packed = readAll(path("packed"));
    shared::TContainerHeader header;
    if (id < 0) {
        QVERIFY(packed.isEmpty());
    } else {
        QCOMPARE(shared::TContainerHeader::parse(packed, header), shared::TContainerHeader::EParseResult::Valid);
        QCOMPARE(int(header.algorithmId), id);
        QCOMPARE(header.unpackedSize, quint64(data.size()));
    }

    result = TTestSupport::run(Tool, {"unpack", path("packed"), path("out.bin")});
    QVERIFY2(result.exitCode == 0, result.err.constData());
    QVERIFY(QFileInfo::exists(path("out.bin")));
    QCOMPARE(readAll(path("out.bin")), data);
}

void TestQuenmarPack::unpackCopiesPlainFiles()
{
    const QByteArray plain("plain bytes, no container here");
    writeAll(path("plain.txt"), plain);
    const auto result = TTestSupport::run(Tool, {"unpack", path("plain.txt"), path("copy.txt")});
    QCOMPARE(result.exitCode, 0);
    QCOMPARE(readAll(path("copy.txt")), plain);
}

void TestQuenmarPack::badInputExitsWithOne_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QByteArray>("message");
    QTest::newRow("unsupported container")
        << QStringList{"unpack", "IN", "OUT"} << QByteArray::fromHex("7007030361626300")
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
}

void TestQuenmarPack::badInputExitsWithOne()
{
    QFETCH(QStringList, arguments);
    QFETCH(QByteArray, input);
    QFETCH(QByteArray, message);
    writeAll(path("IN"), input);
    for (QString& argument : arguments) {
        if (argument == "IN" || argument == "OUT" || argument == "MISSING")
            argument = path(argument);
    }
    const auto result = TTestSupport::run(Tool, arguments);
    QCOMPARE(result.exitCode, 1);
    QVERIFY2(result.err.contains(message), result.err.constData());
    QVERIFY(!QFileInfo::exists(path("OUT")));
}

void TestQuenmarPack::helpDescribesCommands()
{
    auto result = TTestSupport::run(Tool, {"--help"});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.out.contains("pack") && result.out.contains("unpack"));
    result = TTestSupport::run(Tool, {"pack", "--help"});
    QCOMPARE(result.exitCode, 0);
    QVERIFY(result.out.contains("stored|deflate|lzip|lzma"));
    result = TTestSupport::run(Tool, {"frobnicate"});
    QVERIFY(result.exitCode != 0);
    QVERIFY(result.err.contains("unknown command"));
}

QTEST_GUILESS_MAIN(TestQuenmarPack)
#include "tst_quenmarpack.moc"
