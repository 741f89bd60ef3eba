// The download job planner on its own: which file entries it refuses and why, one job per
// distinct chunk shared across files, and the front-of-file-first order of the jobs.
#include "filesystemhelper/TFileSystemHelper.h"
#include "installation/TDecodingBudget.h"
#include "installation/TDownloadJobPlanner.h"

#include <QtTest>

#include <initializer_list>
#include <utility>

using namespace orvan::launcher;

Q_DECLARE_METATYPE(QList<TFileToDownload>)
Q_DECLARE_METATYPE(QList<TDownloadPlan::ERefusal>)

namespace {

const QDir Directory(QStringLiteral("/install"));

TChunkInPackage chunk(const char* name, quint64 size)
{
    TChunkInPackage chunk;
    chunk.url = QUrl(QStringLiteral("http://127.0.0.1/%1").arg(QLatin1String(name)));
    chunk.unpackedHash = QByteArray(name).leftJustified(32, '.');
    chunk.unpackedSize = size;
    chunk.packedSize = size;
    return chunk;
}

/// A consistent entry made of Chunks; Positions are the ones to download (all when empty).
TFileToDownload fileOf(const QString& localFile, std::initializer_list<TChunkInPackage> chunks,
                       std::vector<qint32> positions = {})
{
    TFileToDownload file;
    file.localFile = localFile;
    file.chunks = chunks;
    for (const TChunkInPackage& part : chunks) {
        file.unpackedSize += part.unpackedSize;
        file.unpackedHash += part.unpackedHash;
    }
    if (positions.empty()) {
        for (qint32 position = 0; position < static_cast<qint32>(chunks.size()); ++position)
            positions.push_back(position);
    }
    file.chunksToDownload = std::move(positions);
    return file;
}

TDownloadPlan planOf(const QList<TFileToDownload>& files)
{
    const shared::TFileSystemHelper fileSystem;
    const TDownloadJobPlanner planner(Directory, [&fileSystem](const QDir& directory, const QString& localFile) {
        return fileSystem.resolvePathInsideDirectory(directory, localFile);
    });
    return planner.plan(files);
}

QStringList urlsOf(const std::vector<TChunkToDownload>& jobs)
{
    QStringList urls;
    for (const TChunkToDownload& job : jobs)
        urls << job.chunk.url.fileName();
    return urls;
}

} // namespace

class TestDownloadJobPlanner : public QObject
{
    Q_OBJECT

private slots:
    void refusesInconsistentEntries_data()
    {
        using ERefusal = TDownloadPlan::ERefusal;
        QTest::addColumn<QList<TFileToDownload>>("files");
        QTest::addColumn<QList<ERefusal>>("refusals");
        QTest::addColumn<int>("builtFiles");

        const TChunkInPackage a = chunk("a", 100);
        const TChunkInPackage b = chunk("b", 50);
        TFileToDownload wrongSize = fileOf(QStringLiteral("size"), {a, b});
        wrongSize.unpackedSize -= 1;
        TFileToDownload overflow = fileOf(QStringLiteral("overflow"), {a, b});
        overflow.chunks[1].unpackedSize = std::numeric_limits<quint64>::max();
        overflow.unpackedSize = 99;
        TFileToDownload other = fileOf(QStringLiteral("./good"), {b});

        QTest::newRow("consistent") << QList<TFileToDownload>{fileOf(QStringLiteral("good"), {a, b}, {1})}
                                    << QList<ERefusal>{} << 1;
        QTest::newRow("path names the directory")
            << QList<TFileToDownload>{fileOf(QStringLiteral(".."), {a}), fileOf(QStringLiteral("."), {a})}
            << QList<ERefusal>{ERefusal::PathNamesDirectory, ERefusal::PathNamesDirectory} << 0;
        QTest::newRow("sizes don't add up")
            << QList<TFileToDownload>{wrongSize} << QList<ERefusal>{ERefusal::ChunkSizesDontAddUp} << 0;
        QTest::newRow("sizes overflow") << QList<TFileToDownload>{overflow}
                                        << QList<ERefusal>{ERefusal::ChunkSizesOverflow} << 0;
        QTest::newRow("position beyond the chunk list")
            << QList<TFileToDownload>{fileOf(QStringLiteral("range"), {a, b}, {0, 2})}
            << QList<ERefusal>{ERefusal::PositionsOutsideChunkList} << 0;
        QTest::newRow("negative position") << QList<TFileToDownload>{fileOf(QStringLiteral("minus"), {a, b}, {-1})}
                                           << QList<ERefusal>{ERefusal::PositionsOutsideChunkList} << 0;
        QTest::newRow("positions not ascending")
            << QList<TFileToDownload>{fileOf(QStringLiteral("twice"), {a, b}, {1, 1})}
            << QList<ERefusal>{ERefusal::PositionsOutsideChunkList} << 0;
        QTest::newRow("another file at the same path")
            << QList<TFileToDownload>{fileOf(QStringLiteral("good"), {a, b}), other}
            << QList<ERefusal>{ERefusal::PathTakenByAnotherFile} << 1;
        QTest::newRow("the same file listed twice")
            << QList<TFileToDownload>{fileOf(QStringLiteral("good"), {a, b}), fileOf(QStringLiteral("./good"), {a, b})}
            << QList<ERefusal>{} << 1;
    }

    void refusesInconsistentEntries()
    {
        QFETCH(QList<TFileToDownload>, files);
        QFETCH(QList<TDownloadPlan::ERefusal>, refusals);
        QFETCH(int, builtFiles);

        const TDownloadPlan plan = planOf(files);
        QList<TDownloadPlan::ERefusal> reasons;
        for (const TDownloadPlan::TRefusedFile& refused : plan.refusedFiles)
            reasons << refused.reason;
        QCOMPARE(reasons, refusals);
        QCOMPARE(static_cast<int>(plan.files.size()), builtFiles);
        // A refused file feeds no job.
        for (const TChunkToDownload& job : plan.jobs) {
            for (const auto& target : job.targetFiles)
                QVERIFY(std::find(plan.files.begin(), plan.files.end(), target) != plan.files.end());
        }
    }

    void sharedChunkIsOneJobWithEveryFileOnce()
    {
        const TChunkInPackage a = chunk("a", 100);
        const TChunkInPackage b = chunk("b", 100);
        const TChunkInPackage c = chunk("c", 100);
        const TDownloadPlan plan =
            planOf({fileOf(QStringLiteral("first"), {a, b, a}), fileOf(QStringLiteral("second"), {c, a}),
                    fileOf(QStringLiteral("third"), {b, c}, {1})});

        QCOMPARE(plan.files.size(), std::size_t(3));
        QCOMPARE(urlsOf(plan.jobs), (QStringList{QStringLiteral("a"), QStringLiteral("c"), QStringLiteral("b")}));
        const auto targetsOf = [&plan](const QString& url) {
            QStringList names;
            for (const TChunkToDownload& job : plan.jobs) {
                if (job.chunk.url.fileName() == url) {
                    for (const auto& file : job.targetFiles)
                        names << file->localFile;
                }
            }
            return names;
        };
        QCOMPARE(targetsOf(QStringLiteral("a")), (QStringList{QStringLiteral("first"), QStringLiteral("second")}));
        QCOMPARE(targetsOf(QStringLiteral("b")), QStringList{QStringLiteral("first")});
        QCOMPARE(targetsOf(QStringLiteral("c")), (QStringList{QStringLiteral("second"), QStringLiteral("third")}));
        QCOMPARE(plan.files[0]->pendingPositions, (QList<int>{0, 1, 2}));
        QCOMPARE(plan.files[2]->path, Directory.absoluteFilePath(QStringLiteral("third")));
    }

    void jobsAreOrderedFrontOfFileFirst()
    {
        // A job's key is the lowest offset at which one of its target files holds its content;
        // equal keys keep the order in which the jobs were first needed.
        const TChunkInPackage a = chunk("a", 100);
        const TChunkInPackage b = chunk("b", 100);
        const TChunkInPackage c = chunk("c", 100);
        const TChunkInPackage d = chunk("d", 30);
        const TChunkInPackage e = chunk("e", 10);
        const TDownloadPlan plan = planOf({fileOf(QStringLiteral("first"), {a, b, c}, {1, 2}),
                                           fileOf(QStringLiteral("second"), {d, c, e, b}, {0, 1, 2}),
                                           fileOf(QStringLiteral("third"), {b, a}, {1})});
        // d 0; c 30 (second); b 100 (first; the others keep it); a 100 (third); e 130.
        QCOMPARE(urlsOf(plan.jobs), (QStringList{QStringLiteral("d"), QStringLiteral("c"), QStringLiteral("b"),
                                                 QStringLiteral("a"), QStringLiteral("e")}));
    }

    /// Decodes start while both their number and the sizes their documents declare fit; one always
    /// starts when none runs, so a chunk over the bound is slowed, never stuck.
    void decodesStartWithinTheirBudget_data()
    {
        QTest::addColumn<QList<quint64>>("running");
        QTest::addColumn<quint64>("next");
        QTest::addColumn<bool>("startable");

        constexpr quint64 mib = 1024 * 1024;
        QTest::newRow("none running, huge") << QList<quint64>{} << 2048 * mib << true;
        QTest::newRow("small ones fit") << QList<quint64>{8 * mib, 8 * mib} << 8 * mib << true;
        QTest::newRow("threads all busy") << QList<quint64>{mib, mib, mib, mib} << mib << false;
        QTest::newRow("huge after a small one") << QList<quint64>{8 * mib} << 2048 * mib << false;
        QTest::newRow("small after a huge one") << QList<quint64>{2048 * mib} << mib << false;
        QTest::newRow("exactly the bound") << QList<quint64>{512 * mib} << 512 * mib << true;
        QTest::newRow("one byte past") << QList<quint64>{512 * mib} << 512 * mib + 1 << false;
        QTest::newRow("declared size near overflow") << QList<quint64>{mib} << ~quint64(0) << false;
    }
    void decodesStartWithinTheirBudget()
    {
        QFETCH(QList<quint64>, running);
        QFETCH(quint64, next);
        QFETCH(bool, startable);

        constexpr int maxRunning = 4;
        TDecodingBudget budget(1024ull * 1024 * 1024);
        for (const quint64 bytes : running)
            budget.start(bytes);
        QCOMPARE(budget.canStart(next, maxRunning), startable);
        // Once every running decode has finished, anything may start again.
        for (const quint64 bytes : running)
            budget.finish(bytes);
        QVERIFY(budget.canStart(next, maxRunning));
        QCOMPARE(budget.running(), 0);
    }
};

QTEST_GUILESS_MAIN(TestDownloadJobPlanner)
#include "tst_downloadjobplanner.moc"
