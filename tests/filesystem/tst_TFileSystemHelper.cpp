#include "compression/TContainerEncoder.h"
#include "filesystemhelper/TFileSystemHelper.h"
#include "filesystemhelper/TLZMACompressedReadOnlyMemoryBlob.h"
#include "filesystemhelper/TLinkFreePath.h"

#include <QImage>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSettings>
#include <QTemporaryDir>
#include <QtConcurrent>
#include <QtTest>

#include <functional>
#include <stdexcept>

using shared::TFileSystemHelper;

namespace {

QString errorText(const std::function<void()>& action)
{
    try {
        action();
    } catch (const std::runtime_error& error) {
        return QString::fromUtf8(error.what());
    }
    return QString();
}

/// Reports every path as missing, to show which operations consult fileExists.
class TNothingExistsHelper : public TFileSystemHelper
{
public:
    bool fileExists(const QString&) const override { return false; }
};

/// Lists a fixed entry, to show that forEachFileInDirectory goes through listFilesInDirectory.
class TFixedListingHelper : public TFileSystemHelper
{
public:
    std::vector<shared::TLocalFileInfo> listFilesInDirectory(const QString&) const override
    {
        return {shared::TLocalFileInfo(QStringLiteral("/virtual/file"), 42)};
    }
};

} // namespace

class TestFileSystemHelper : public QObject
{
    Q_OBJECT

private slots:
    void init();

    void joinPath_data();
    void joinPath();
    void resolvePathInsideDirectory_data();
    void resolvePathInsideDirectory();
    void resolvePathInsideRealDirectory();

    void blobSelection();
    void compressedBlobDecodes();
    void compressedBlobFallsBackToRawBytes_data();
    void compressedBlobFallsBackToRawBytes();
    void blobRereadsAndReportsVanishedFile();

    void readAndWriteFiles();
    void writeFileIntoMissingDirectoryFails();
    void textFilesTruncateAndAppend();
    void deleteFile();
    void createFolderAndSubdirectory();
    void listFilesSkipsDirectoriesAndHiddenFiles();
    void forEachFileUsesTheListing();
    void readJsonDocument();
    void imagesRoundTrip();
    void settingsFile();

    void writeFileAtomicallyReplacesInOneStep();
    void renameFileReplacesTheTarget();
    void removeRegularFileLeavesFolders();
    void syncFileSystemReportsAMissingPath();
    void parentFoldersPreparedOnManyThreadsAtOnce();

private:
    QString path(const QString& name) const { return m_dir->filePath(name); }
    void write(const QString& name, const QByteArray& data) const { m_helper.writeFile(path(name), data); }

    std::unique_ptr<QTemporaryDir> m_dir;
    TFileSystemHelper m_helper;
};

void TestFileSystemHelper::init()
{
    m_dir = std::make_unique<QTemporaryDir>();
    QVERIFY(m_dir->isValid());
}

void TestFileSystemHelper::joinPath_data()
{
    QTest::addColumn<QStringList>("parts");
    QTest::addColumn<QString>("expected");
    QTest::newRow("two parts") << QStringList{"a", "b"} << "a/b";
    QTest::newRow("absolute first part") << QStringList{"/x", "y"} << "/x/y";
    QTest::newRow("empty list") << QStringList{} << "";
    QTest::newRow("no cleaning") << QStringList{"a/", "b"} << "a//b";
    QTest::newRow("root first part") << QStringList{"/", "etc"} << "//etc";
}

void TestFileSystemHelper::joinPath()
{
    QFETCH(QStringList, parts);
    QFETCH(QString, expected);
    QCOMPARE(m_helper.joinPath(parts), expected);
}

void TestFileSystemHelper::resolvePathInsideDirectory_data()
{
    QTest::addColumn<QString>("relativePath");
    QTest::addColumn<QString>("expected");
    QTest::newRow("plain") << "sub/f.txt"
                           << "/base/sub/f.txt";
    QTest::newRow("climbing out keeps the name") << "../../etc/passwd"
                                                 << "/base/passwd";
    QTest::newRow("climbing inside") << "a/../b"
                                     << "/base/b";
    QTest::newRow("sibling sharing the prefix") << "../base2/x"
                                                << "/base/x";
    QTest::newRow("sibling directory itself") << "../base2"
                                              << "/base/base2";
    QTest::newRow("absolute path stays inside") << "/etc/passwd"
                                                << "/base/etc/passwd";
    QTest::newRow("parent only") << ".."
                                 << "/base";
    QTest::newRow("grandparent only") << "../.."
                                      << "/base";
    QTest::newRow("back into the base") << "../base/x"
                                        << "/base/x";
    QTest::newRow("empty") << ""
                           << "/base";
    QTest::newRow("trailing slash") << "../up/"
                                    << "/base/up";
}

void TestFileSystemHelper::resolvePathInsideDirectory()
{
    QFETCH(QString, relativePath);
    QFETCH(QString, expected);
    QCOMPARE(m_helper.resolvePathInsideDirectory(QDir(QStringLiteral("/base")), relativePath), expected);
}

void TestFileSystemHelper::resolvePathInsideRealDirectory()
{
    // A relative QDir is made absolute first; the result must be a file below the base.
    const QString base = m_helper.createFolder(path("install")).absolutePath();
    m_helper.createFolder(path("install2"));
    const QString resolved = m_helper.resolvePathInsideDirectory(QDir(base), QStringLiteral("../install2/secret"));
    QCOMPARE(resolved, base + "/secret");
}

void TestFileSystemHelper::blobSelection()
{
    // Neither file: the plain blob's constructor reports the uncompressed name.
    const QString plain = path("x.dat");
    QCOMPARE(errorText([&] { m_helper.openReadOnlyMemoryBlob(plain); }),
             QStringLiteral("I/O error on file '%1': File does not exist").arg(plain));

    write("x.dat.lzma", shared::TContainerEncoder::encode("packed", shared::EContainerAlgorithm::Lzma));
    auto blob = m_helper.openReadOnlyMemoryBlob(plain);
    QVERIFY(dynamic_cast<shared::TLZMACompressedReadOnlyMemoryBlob*>(blob.get()));
    QCOMPARE(blob->filePath(), plain + ".lzma");
    QCOMPARE(blob->data(), QByteArray("packed"));

    // An existing uncompressed file wins over its compressed twin.
    write("x.dat", "plain");
    blob = m_helper.openReadOnlyMemoryBlob(plain);
    QVERIFY(!dynamic_cast<shared::TLZMACompressedReadOnlyMemoryBlob*>(blob.get()));
    QCOMPARE(blob->filePath(), plain);
    QCOMPARE(blob->data(), QByteArray("plain"));

    // Asking for the compressed name directly gives the compressed blob.
    blob = m_helper.openReadOnlyMemoryBlob(plain + ".lzma");
    QVERIFY(dynamic_cast<shared::TLZMACompressedReadOnlyMemoryBlob*>(blob.get()));
    QCOMPARE(blob->data(), QByteArray("packed"));

    // The suffix test is case-sensitive.
    write("y.LZMA", shared::TContainerEncoder::encode("packed", shared::EContainerAlgorithm::Stored));
    blob = m_helper.openReadOnlyMemoryBlob(path("y.LZMA"));
    QVERIFY(!dynamic_cast<shared::TLZMACompressedReadOnlyMemoryBlob*>(blob.get()));

    // Selection goes through the virtual fileExists: a helper that sees no files falls back to a
    // plain blob, which reads the compressed file undecoded.
    TNothingExistsHelper blind;
    blob = blind.openReadOnlyMemoryBlob(plain + ".lzma");
    QVERIFY(!dynamic_cast<shared::TLZMACompressedReadOnlyMemoryBlob*>(blob.get()));
    QCOMPARE(blob->data(), m_helper.readFile(plain + ".lzma"));
}

void TestFileSystemHelper::compressedBlobDecodes()
{
    QByteArray content;
    for (int i = 0; i < 5000; ++i)
        content += QByteArray::number(i) + ',';
    for (auto algorithm : {shared::EContainerAlgorithm::Stored, shared::EContainerAlgorithm::Deflate,
                           shared::EContainerAlgorithm::Lzip, shared::EContainerAlgorithm::Lzma}) {
        write("doc.json.lzma", shared::TContainerEncoder::encode(content, algorithm));
        QCOMPARE(m_helper.openReadOnlyMemoryBlob(path("doc.json"))->data(), content);
    }
}

void TestFileSystemHelper::compressedBlobFallsBackToRawBytes_data()
{
    QTest::addColumn<QByteArray>("raw");
    QTest::newRow("unsupported id") << QByteArray::fromHex("7008030361626300");
    QTest::newRow("not a container") << QByteArray("{\"plain\": true}");
    QTest::newRow("truncated size") << QByteArray::fromHex("000070058080");
    QTest::newRow("payload shorter than declared") << QByteArray::fromHex("700005056162");
    QTest::newRow("corrupt lzma") << QByteArray::fromHex("70050a125d00001000ffffffffffffffff00112233445566");
}

void TestFileSystemHelper::compressedBlobFallsBackToRawBytes()
{
    QFETCH(QByteArray, raw);
    write("broken.lzma", raw);
    QCOMPARE(m_helper.openReadOnlyMemoryBlob(path("broken.lzma"))->data(), raw);
}

void TestFileSystemHelper::blobRereadsAndReportsVanishedFile()
{
    write("live.bin", "first");
    const auto blob = m_helper.openReadOnlyMemoryBlob(path("live.bin"));
    QCOMPARE(blob->data(), QByteArray("first"));
    write("live.bin", "second");
    QCOMPARE(blob->data(), QByteArray("second"));
    QFile::remove(path("live.bin"));
    QCOMPARE(errorText([&] { blob->data(); }),
             QStringLiteral("I/O error on file '%1': Could not open file.").arg(path("live.bin")));
}

void TestFileSystemHelper::readAndWriteFiles()
{
    QByteArray binary;
    for (int i = 0; i < 70000; ++i)
        binary.append(static_cast<char>(i * 7));
    write("data.bin", binary);
    QCOMPARE(m_helper.readFile(path("data.bin")), binary);
    QCOMPARE(m_helper.readFileIfPresent(path("data.bin")), binary);

    // Rewriting truncates.
    write("data.bin", "short");
    QCOMPARE(m_helper.readFile(path("data.bin")), QByteArray("short"));

    const QString missing = path("missing.bin");
    QVERIFY(m_helper.readFileIfPresent(missing).isEmpty());
    const QString message = errorText([&] { m_helper.readFile(missing); });
    QVERIFY2(message.startsWith(QStringLiteral("I/O error on file '%1': ").arg(missing)), qPrintable(message));
    QVERIFY(message.size() > QStringLiteral("I/O error on file '%1': ").arg(missing).size());

    // A directory opens but cannot be read as a file.
    QVERIFY(!errorText([&] { m_helper.readFile(m_dir->path()); }).isEmpty());
}

void TestFileSystemHelper::writeFileIntoMissingDirectoryFails()
{
    const QString target = path("no/such/dir/file.bin");
    QCOMPARE(errorText([&] { m_helper.writeFile(target, "x"); }),
             QStringLiteral("I/O error on file '%1': Could not open file.").arg(target));
    // The image writer goes through writeFile and so fails the same way.
    QImage image(2, 2, QImage::Format_RGB32);
    image.fill(Qt::red);
    QCOMPARE(errorText([&] { m_helper.writeImageFile(image, target, "PNG"); }),
             QStringLiteral("I/O error on file '%1': Could not open file.").arg(target));
}

void TestFileSystemHelper::textFilesTruncateAndAppend()
{
    m_helper.writeTextFile(path("log.txt"), QStringLiteral("one\n"));
    m_helper.appendTextFile(path("log.txt"), QStringLiteral("zwei \u00fc\n"));
    QCOMPARE(QString::fromUtf8(m_helper.readFile(path("log.txt"))), QStringLiteral("one\nzwei \u00fc\n"));
    m_helper.writeTextFile(path("log.txt"), QStringLiteral("fresh"));
    QCOMPARE(m_helper.readFile(path("log.txt")), QByteArray("fresh"));
    // Failures are silent by contract.
    m_helper.writeTextFile(path("no/dir/log.txt"), QStringLiteral("lost"));
    m_helper.appendTextFile(path("no/dir/log.txt"), QStringLiteral("lost"));
    QVERIFY(!m_helper.fileExists(path("no/dir/log.txt")));
}

void TestFileSystemHelper::deleteFile()
{
    write("gone.bin", "x");
    m_helper.deleteFile(path("gone.bin"));
    QVERIFY(!m_helper.fileExists(path("gone.bin")));
    QCOMPARE(errorText([&] { m_helper.deleteFile(path("gone.bin")); }),
             QStringLiteral("Failed to delete file ") + path("gone.bin"));

    write("source.bin", "copy me");
    m_helper.copyFile(path("source.bin"), path("target.bin"));
    QCOMPARE(m_helper.readFile(path("target.bin")), QByteArray("copy me"));
}

void TestFileSystemHelper::createFolderAndSubdirectory()
{
    const QDir nested = m_helper.createFolder(path("a/b/c"));
    QVERIFY(nested.exists());
    QVERIFY(m_helper.directoryExists(path("a/b/c")));
    QVERIFY(m_helper.fileExists(path("a/b/c")));
    QVERIFY(m_helper.createFolder(path("a/b/c")).exists());

    write("file", "x");
    QCOMPARE(errorText([&] { m_helper.createFolder(path("file/sub")); }),
             QStringLiteral("Failed to create folder: '%1'.").arg(QDir::toNativeSeparators(path("file/sub"))));

    const QDir created = m_helper.getOrCreateSubdirectory(path("a"), QStringLiteral("new"));
    QCOMPARE(created.absolutePath(), path("a/new"));
    QVERIFY(created.exists());
    QCOMPARE(m_helper.getOrCreateSubdirectory(path("a"), QStringLiteral("b")).absolutePath(), path("a/b"));
    QCOMPARE(errorText([&] { m_helper.getOrCreateSubdirectory(path("missing"), QStringLiteral("x")); }),
             QStringLiteral("Directory doesn't exist"));
    QCOMPARE(errorText([&] { m_helper.getOrCreateSubdirectory(m_dir->path(), QStringLiteral("file")); }),
             QStringLiteral("Failed to create subdirectory."));
}

void TestFileSystemHelper::listFilesSkipsDirectoriesAndHiddenFiles()
{
    write("one.bin", "1");
    write("three.bin", "333");
    write(".hidden", "h");
    m_helper.createFolder(path("subdir"));
    m_helper.writeFile(path("subdir/inner.bin"), "inner");

    std::vector<shared::TLocalFileInfo> files = m_helper.listFilesInDirectory(m_dir->path());
    std::sort(files.begin(), files.end(), [](const auto& a, const auto& b) { return a.filePath < b.filePath; });
    QCOMPARE(files.size(), std::size_t(2));
    QCOMPARE(files[0].filePath, path("one.bin"));
    QCOMPARE(files[0].size, qint64(1));
    QCOMPARE(files[1].filePath, path("three.bin"));
    QCOMPARE(files[1].size, qint64(3));
    QVERIFY(m_helper.listFilesInDirectory(path("missing")).empty());
}

void TestFileSystemHelper::forEachFileUsesTheListing()
{
    write("real.bin", "r");
    QStringList seen;
    m_helper.forEachFileInDirectory(m_dir->path(), [&](const shared::TLocalFileInfo& file) { seen << file.filePath; });
    QCOMPARE(seen, QStringList{path("real.bin")});

    TFixedListingHelper fixed;
    seen.clear();
    fixed.forEachFileInDirectory(m_dir->path(), [&](const shared::TLocalFileInfo& file) { seen << file.filePath; });
    QCOMPARE(seen, QStringList{"/virtual/file"});

    QVERIFY_EXCEPTION_THROWN(m_helper.forEachFileInDirectory(m_dir->path(), {}), std::bad_function_call);
}

void TestFileSystemHelper::readJsonDocument()
{
    bool parseFailed = true;
    QVERIFY(m_helper.readJsonFileAsQJsonDocument(path("missing.json"), parseFailed).isNull());
    QVERIFY(!parseFailed);

    write("empty.json", "");
    parseFailed = true;
    QVERIFY(m_helper.readJsonFileAsQJsonDocument(path("empty.json"), parseFailed).isNull());
    QVERIFY(!parseFailed);

    write("broken.json", "{");
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("^Json parse error in file .*broken\\.json.*at offset 1$"));
    QVERIFY(m_helper.readJsonFileAsQJsonDocument(path("broken.json"), parseFailed).isNull());
    QVERIFY(parseFailed);

    write("good.json", R"({"key": 7})");
    const QJsonDocument document = m_helper.readJsonFileAsQJsonDocument(path("good.json"), parseFailed);
    QVERIFY(!parseFailed);
    QCOMPARE(document.object().value("key").toInt(), 7);
}

void TestFileSystemHelper::imagesRoundTrip()
{
    QImage image(3, 2, QImage::Format_ARGB32);
    image.fill(QColor(10, 20, 30, 255));
    image.setPixelColor(2, 1, QColor(200, 100, 50, 255));
    m_helper.writeImageFile(image, path("picture.png"), "PNG");
    const auto loaded = m_helper.readImageFile(path("picture.png"), "PNG");
    QVERIFY(loaded);
    QCOMPARE(loaded->size(), image.size());
    QCOMPARE(loaded->pixelColor(2, 1), QColor(200, 100, 50, 255));

    QVERIFY(!m_helper.readImageFile(path("missing.png"), "PNG"));
    write("garbage.png", "not an image");
    QVERIFY(!m_helper.readImageFile(path("garbage.png"), "PNG"));

    // An image that cannot be encoded leaves an existing file alone instead of emptying it.
    QVERIFY_EXCEPTION_THROWN(m_helper.writeImageFile(QImage(), path("picture.png"), "PNG"), std::runtime_error);
    QVERIFY(m_helper.readImageFile(path("picture.png"), "PNG"));
}

void TestFileSystemHelper::settingsFile()
{
    {
        const auto settings = m_helper.openSettingsFile(path("launchersettings.ini"));
        QCOMPARE(settings->format(), QSettings::IniFormat);
        settings->setValue("General/answer", 42);
    }
    QVERIFY(m_helper.readFile(path("launchersettings.ini")).contains("answer=42"));
    QCOMPARE(m_helper.openSettingsFile(path("launchersettings.ini"))->value("General/answer").toInt(), 42);
}

void TestFileSystemHelper::writeFileAtomicallyReplacesInOneStep()
{
    write("marker.json", "old content that is longer");
    QFile::setPermissions(path("marker.json"), QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup);
    m_helper.writeFileAtomically(path("marker.json"), "new");
    QCOMPARE(m_helper.readFile(path("marker.json")), QByteArray("new"));
    m_helper.writeFileAtomically(path("fresh.json"), QByteArray());
    QCOMPARE(m_helper.readFile(path("fresh.json")), QByteArray());
    // The temporary files are gone, and a new file gets the usual permissions (umask applies).
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files), QStringList({"fresh.json", "marker.json"}));
    QFile probe(path("probe"));
    QVERIFY(probe.open(QIODevice::WriteOnly));
    QCOMPARE(QFile::permissions(path("fresh.json")), probe.permissions());

    const QString target = path("no/such/dir/marker.json");
    QCOMPARE(errorText([&] { m_helper.writeFileAtomically(target, "x"); }),
             QStringLiteral("I/O error on file '%1': Could not open file.").arg(target));
    // A folder in the way is not replaced, and nothing is left next to it.
    QVERIFY(QDir().mkpath(path("taken/sub")));
    QVERIFY(errorText([&] {
                m_helper.writeFileAtomically(path("taken"), "x");
            }).startsWith(QStringLiteral("I/O error on file '%1': ").arg(path("taken"))));
    QVERIFY(QFileInfo(path("taken/sub")).isDir());
    QCOMPARE(QDir(m_dir->path()).entryList(QDir::Files).size(), 3);
}

void TestFileSystemHelper::renameFileReplacesTheTarget()
{
    write("from.json", "from");
    write("to.json", "to");
    m_helper.renameFile(path("from.json"), path("to.json"));
    QVERIFY(!m_helper.fileExists(path("from.json")));
    QCOMPARE(m_helper.readFile(path("to.json")), QByteArray("from"));
    QVERIFY(errorText([&] {
                m_helper.renameFile(path("from.json"), path("to.json"));
            }).startsWith(QStringLiteral("I/O error on file '%1': ").arg(path("from.json"))));
    QCOMPARE(m_helper.readFile(path("to.json")), QByteArray("from"));
}

void TestFileSystemHelper::removeRegularFileLeavesFolders()
{
    write("file", "x");
    QVERIFY(QDir().mkpath(path("folder/inner")));
    write("folder/inner/user.txt", "keep");
    QVERIFY(QFile::link(path("folder"), path("link")));

    QVERIFY(m_helper.removeRegularFile(path("file")));
    QVERIFY(!m_helper.fileExists(path("file")));
    QVERIFY(!m_helper.removeRegularFile(path("file")));
    QVERIFY(!m_helper.removeRegularFile(path("folder")));
    QCOMPARE(m_helper.readFile(path("folder/inner/user.txt")), QByteArray("keep"));
    // A link goes, never what it points to.
    QVERIFY(m_helper.removeRegularFile(path("link")));
    QVERIFY(!QFileInfo(path("link")).isSymLink());
    QCOMPARE(m_helper.readFile(path("folder/inner/user.txt")), QByteArray("keep"));
}

void TestFileSystemHelper::syncFileSystemReportsAMissingPath()
{
    m_helper.syncFileSystem(m_dir->path());
    QVERIFY(errorText([&] {
                m_helper.syncFileSystem(path("missing"));
            }).startsWith(QStringLiteral("I/O error on file '%1': ").arg(path("missing"))));
}

void TestFileSystemHelper::parentFoldersPreparedOnManyThreadsAtOnce()
{
    // Files of one folder are prepared by several worker threads; none may fail because another
    // one created the folder or replaced a link in the way first.
    const QString base = path("install");
    QVERIFY(QDir().mkpath(base));
    QVERIFY(QDir().mkpath(path("elsewhere")));
    for (int round = 0; round < 40; ++round) {
        const QString top = QStringLiteral("%1/r%2").arg(base).arg(round);
        if (round % 2 == 1)
            QVERIFY(QFile::link(path("elsewhere"), top));
        QList<QFuture<bool>> tasks;
        for (int task = 0; task < 8; ++task) {
            const QString file = QStringLiteral("%1/a/b/file%2").arg(top).arg(task);
            tasks << QtConcurrent::run([base, file] {
                try {
                    shared::TLinkFreePath::prepareParentFolders(base, file);
                    return true;
                } catch (const std::runtime_error&) {
                    return false;
                }
            });
        }
        for (auto& task : tasks)
            QVERIFY(task.result());
        QVERIFY(!QFileInfo(top).isSymLink());
        QVERIFY(QFileInfo(top + "/a/b").isDir());
    }
    QVERIFY(QDir(path("elsewhere")).isEmpty());
}

QTEST_GUILESS_MAIN(TestFileSystemHelper)
#include "tst_TFileSystemHelper.moc"
