#include "support/PackageTestData.h"
#include "support/TLogCapture.h"

#include "configuration/TPackage.h"
#include "installation/EPackageDownloaderError.h"
#include "installation/TFileHashReader.h"
#include "installation/TPackageInstallation.h"
#include "installation/TRunControl.h"
#include "settings/TLauncherFilesystemHelper.h"

#include <QDir>
#include <QFile>
#include <QJsonObject>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QStringList>
#include <QTemporaryDir>
#include <QThreadPool>
#include <QtConcurrent>
#include <QtTest>

#include <atomic>
#include <memory>

using namespace orvan::launcher;
using namespace packagetest;
using testsupport::TLogCapture;

class TestVerification : public QObject
{
    Q_OBJECT

private:
    QString path(const QString& relative) const { return QDir(m_root->path()).filePath(relative); }
    QString installed(const QString& localFile) const { return path(QStringLiteral("install/") + localFile); }

    std::shared_ptr<TLauncherFilesystemHelper> helperWithSettings(const QString& options)
    {
        const QString settings = path(QStringLiteral("launchersettings.ini"));
        writeFile(settings, "[OPTIONS]\n" + options.toUtf8() + "\n");
        return std::make_shared<TLauncherFilesystemHelper>(settings);
    }

    std::unique_ptr<TPackageInstallation> makeInstallation(const std::shared_ptr<TLauncherFilesystemHelper>& helper)
    {
        auto installation = std::make_unique<TPackageInstallation>(m_package, helper);
        installation->setInstallationDirectory(QDir(path(QStringLiteral("install"))));
        return installation;
    }

    /// Twenty files of the package, installed as published.
    TPackageConfigurationReader installPackage()
    {
        for (int index = 0; index < 20; ++index) {
            const QString name = QStringLiteral("data/file%1.bin").arg(index, 2, 10, QLatin1Char('0'));
            const QByteArray content = pseudoRandom(100000 + index * 5000, quint64(index));
            writeFile(path(QStringLiteral("source/") + name), content);
            writeFile(installed(name), content);
        }
        return buildPackage(path(QStringLiteral("source")), path(QStringLiteral("out")), QStringLiteral("1"));
    }

    std::unique_ptr<QTemporaryDir> m_root;
    std::shared_ptr<TPackage> m_package;

private slots:
    void initTestCase()
    {
        m_package =
            std::make_shared<TPackage>(0, QJsonObject{{QStringLiteral("name"), QStringLiteral("client")}}, QUrl());
    }

    void init()
    {
        m_root = std::make_unique<QTemporaryDir>();
        QVERIFY(m_root->isValid());
        QDir().mkpath(path(QStringLiteral("install")));
    }

    void cleanup() { m_root.reset(); }

    void emptyListIsVerified()
    {
        auto installation = makeInstallation(std::make_shared<TLauncherFilesystemHelper>());
        QSignalSpy progress(installation.get(), &TPackageInstallation::verificationProgress);
        QVERIFY(installation->VerifyPackage(installation->installationDirectory(), installation->helper(), {}));
        QCOMPARE(progress.count(), 0);
    }

    void intactFilesAreVerified()
    {
        const TPackageConfigurationReader configuration = installPackage();
        auto installation = makeInstallation(std::make_shared<TLauncherFilesystemHelper>());
        QSignalSpy progress(installation.get(), &TPackageInstallation::verificationProgress);

        QVERIFY(installation->VerifyPackage(installation->installationDirectory(), installation->helper(),
                                            configuration.files()));

        quint64 total = 0;
        for (const TFileInPackage& file : configuration.files())
            total += file.unpackedSize;
        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last().at(0).value<TFileSize>(), TFileSize(total));
        QCOMPARE(progress.last().at(1).value<TFileSize>(), TFileSize(total));
    }

    void corruptedFileFailsAndIsNamed()
    {
        const TPackageConfigurationReader configuration = installPackage();
        const QString corrupted = installed(QStringLiteral("data/file07.bin"));
        QByteArray content = readFile(corrupted);
        content[500] = char(content[500] ^ 1);
        writeFile(corrupted, content);
        auto installation = makeInstallation(std::make_shared<TLauncherFilesystemHelper>());

        TLogCapture log;
        QVERIFY(!installation->VerifyPackage(installation->installationDirectory(), installation->helper(),
                                             configuration.files()));
        QVERIFY(
            log.contains(QStringLiteral("\\w+: verification of file %1 failed").arg(TLogCapture::literal(corrupted))));
    }

    void missingFileFailsWithoutFileMessage()
    {
        const TPackageConfigurationReader configuration = installPackage();
        QVERIFY(QFile::remove(installed(QStringLiteral("data/file03.bin"))));
        auto installation = makeInstallation(std::make_shared<TLauncherFilesystemHelper>());

        TLogCapture log;
        QVERIFY(!installation->VerifyPackage(installation->installationDirectory(), installation->helper(),
                                             configuration.files()));
        for (const QString& message : log.lines())
            QVERIFY2(!message.endsWith(QLatin1String(" failed")), qPrintable(message));
    }

    void skipVerificationEndsAtOnce()
    {
        // Nothing is installed: only a verification that reads no file can succeed.
        writeFile(path(QStringLiteral("source/a.txt")), "a");
        const TPackageConfigurationReader configuration =
            buildPackage(path(QStringLiteral("source")), path(QStringLiteral("out")), QStringLiteral("1"));
        auto installation = makeInstallation(std::make_shared<TLauncherFilesystemHelper>());
        QVERIFY(installation->helper()->settings()->skipVerification);
        QSignalSpy finished(installation.get(), &TPackageInstallation::verificationFinished);

        installation->startVerification(configuration, false);

        QCOMPARE(finished.count(), 1);
        QCOMPARE(finished.first().at(0).value<std::shared_ptr<TPackage>>(), m_package);
        QVERIFY(installation->installationSucceeded());
        QCOMPARE(installation->errorReason(), EPackageDownloaderError::None);

        installation->startVerification(configuration, true);
        QVERIFY(finished.wait(10000));
        QVERIFY(!installation->installationSucceeded());
        QCOMPARE(installation->errorReason(), EPackageDownloaderError::VerificationFailed);
    }

    void verificationRunsWhenNotSkipped()
    {
        const TPackageConfigurationReader configuration = installPackage();
        auto installation = makeInstallation(helperWithSettings(QStringLiteral("skipVerification=false")));
        QSignalSpy finished(installation.get(), &TPackageInstallation::verificationFinished);
        QSignalSpy progress(installation.get(), &TPackageInstallation::verificationProgress);

        installation->startVerification(configuration, false);
        QCOMPARE(finished.count(), 0);
        QVERIFY(finished.wait(10000));
        QVERIFY(installation->installationSucceeded());
        QVERIFY(!progress.isEmpty());

        QFile::remove(installed(QStringLiteral("data/file19.bin")));
        installation->startVerification(configuration, false);
        QVERIFY(finished.wait(10000));
        QVERIFY(!installation->installationSucceeded());
        QCOMPARE(installation->errorReason(), EPackageDownloaderError::VerificationFailed);
    }

    void destroyingTheInstallationWaitsForItsTasks()
    {
        const TPackageConfigurationReader configuration = installPackage();
        auto installation = makeInstallation(helperWithSettings(QStringLiteral("skipVerification=false")));
        int finished = 0;
        connect(installation.get(), &TPackageInstallation::verificationFinished, this, [&finished] { ++finished; });
        installation->startVerification(configuration, true);
        installation.reset();
        QCoreApplication::processEvents();
        QCOMPARE(finished, 0);
    }

    void hashReaderStopsBetweenPortions()
    {
        writeFile(path(QStringLiteral("large.bin")), pseudoRandom(10000, 3));
        TFileHashReader reader(1000);
        QByteArray hash;
        qint64 read = 0;
        const auto result = reader.hashFile(
            path(QStringLiteral("large.bin")), hash, [&read](qint64 bytes) { read += bytes; },
            [&read] { return read >= 3000; });
        QCOMPARE(result, TFileHashReader::EResult::Stopped);
        QCOMPARE(read, qint64(3000));
        QVERIFY(hash.isEmpty());
    }

    void cancelledVerificationTakesNoFurtherFileAndReportsNothing()
    {
        const TPackageConfigurationReader configuration = installPackage();
        auto installation = makeInstallation(helperWithSettings(QStringLiteral("skipVerification=false")));
        TPackageInstallation* raw = installation.get();
        connect(
            raw, &TPackageInstallation::verificationProgress, raw, [raw] { raw->cancelBackgroundWork(); },
            Qt::DirectConnection);
        QSignalSpy progress(raw, &TPackageInstallation::verificationProgress);
        QSignalSpy finished(raw, &TPackageInstallation::verificationFinished);

        installation->startVerification(configuration, true);
        installation->waitForBackgroundWork();
        QCoreApplication::processEvents();

        // Each task ends the file it holds; the other files are never read.
        QVERIFY(!progress.isEmpty());
        QVERIFY(progress.count() <= TPackageInstallation::WorkerTaskCount);
        QCOMPARE(finished.count(), 0);
        QVERIFY(!installation->VerifyPackage(installation->installationDirectory(), installation->helper(),
                                             configuration.files()));
    }

    void pausedVerificationWaitsUntilResumedOrCancelled_data()
    {
        QTest::addColumn<bool>("resumed");
        QTest::newRow("resumed") << true;
        QTest::newRow("destroyed while paused") << false;
    }

    void pausedVerificationWaitsUntilResumedOrCancelled()
    {
        QFETCH(bool, resumed);
        const TPackageConfigurationReader configuration = installPackage();
        auto installation = makeInstallation(helperWithSettings(QStringLiteral("skipVerification=false")));
        QSignalSpy paused(installation.get(), &TPackageInstallation::pausedChanged);
        QSignalSpy progress(installation.get(), &TPackageInstallation::verificationProgress);
        QSignalSpy finished(installation.get(), &TPackageInstallation::verificationFinished);
        installation->pause();
        QCOMPARE(paused.count(), 1);
        installation->startVerification(configuration, true);
        QTest::qWait(300);
        QCOMPARE(progress.count() + finished.count(), 0);
        if (!resumed) {
            // The destructor waits for the tasks: they must not stay blocked.
            installation.reset();
            QCOMPARE(finished.count(), 0);
            return;
        }
        installation->resume();
        QCOMPARE(paused.count(), 2);
        QVERIFY(finished.wait(10000));
        QVERIFY(installation->installationSucceeded());
    }
    void checkpointLendsItsPoolPlaceWhilePaused_data()
    {
        QTest::addColumn<bool>("cancelled");
        QTest::newRow("resumed") << false;
        QTest::newRow("cancelled") << true;
    }

    void checkpointLendsItsPoolPlaceWhilePaused()
    {
        QFETCH(bool, cancelled);
        QThreadPool* pool = QThreadPool::globalInstance();
        const int threads = pool->maxThreadCount();
        pool->setMaxThreadCount(1);
        TRunControl control;
        QVERIFY(control.pause());
        QVERIFY(!control.pause());
        QFuture<bool> waiting = QtConcurrent::run([&control] { return control.checkpoint(); });
        std::atomic_bool otherRan{false};
        QFuture<void> other = QtConcurrent::run([&otherRan] { otherRan.store(true); });
        const auto release = qScopeGuard([&] {
            control.cancel();
            waiting.waitForFinished();
            other.waitForFinished();
            pool->setMaxThreadCount(threads);
        });
        // The only pool thread is blocked at the checkpoint: the other task runs in its lent place.
        QTRY_VERIFY(otherRan.load());
        QVERIFY(!waiting.isFinished());

        if (cancelled)
            control.cancel();
        else
            QVERIFY(control.resume());
        QCOMPARE(waiting.result(), cancelled);
        QVERIFY(!control.isPaused());
        // A cancelled run stays cancelled: it can't be paused again, so no task can be held.
        QCOMPARE(control.pause(), !cancelled);
        QCOMPARE(control.isCancelled(), cancelled);
    }
};

QTEST_GUILESS_MAIN(TestVerification)
#include "tst_verification.moc"
