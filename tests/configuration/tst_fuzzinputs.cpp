#include "launcherconfiguration/LauncherConfigurationFuzzCheck.h"
#include "packageconfiguration/PackageConfigurationFuzzCheck.h"

#include "support/TLogCapture.h"
#include "support/TestFiles.h"

#include <QDir>
#include <QtTest>

#include <memory>

namespace {

using testsupport::readTestData;
using testsupport::testDataPath;
using testsupport::TLogCapture;

// Every seed-corpus file of Target and every crash reproducer named after it, as paths
// below tests/data.
void addInputRows(const QString& target)
{
    QTest::addColumn<QString>("path");
    const QDir corpus(testDataPath(QStringLiteral("fuzz/") + target));
    for (const QFileInfo& file : corpus.entryInfoList(QDir::Files, QDir::Name)) {
        QTest::newRow(qPrintable(QStringLiteral("corpus/") + file.fileName()))
            << QStringLiteral("fuzz/%1/%2").arg(target, file.fileName());
    }
    const QDir crashes(testDataPath(QStringLiteral("configuration/crashes")));
    for (const QFileInfo& file : crashes.entryInfoList({target + QStringLiteral("-*")}, QDir::Files, QDir::Name)) {
        QTest::newRow(qPrintable(QStringLiteral("crash/") + file.fileName()))
            << QStringLiteral("configuration/crashes/") + file.fileName();
    }
}

} // namespace

/// Replays the committed fuzz inputs through the same invariant checks the fuzz targets run.
class TestFuzzInputs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void launcherConfigurationInputs_data() { addInputRows(QStringLiteral("fuzz_launcherconfiguration")); }
    void launcherConfigurationInputs();
    void packageConfigurationInputs_data() { addInputRows(QStringLiteral("fuzz_packageconfiguration")); }
    void packageConfigurationInputs();

private:
    std::unique_ptr<TLogCapture> m_silence;
};

void TestFuzzInputs::initTestCase()
{
    // The inputs are broken on purpose; their parse warnings are expected.
    m_silence = std::make_unique<TLogCapture>(TLogCapture::EForwarding::Nothing);
}

void TestFuzzInputs::cleanupTestCase()
{
    m_silence.reset();
}

void TestFuzzInputs::launcherConfigurationInputs()
{
    QFETCH(QString, path);
    const QString problem = checkLauncherConfigurationInput(readTestData(path));
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

void TestFuzzInputs::packageConfigurationInputs()
{
    QFETCH(QString, path);
    const QString problem = checkPackageConfigurationInput(readTestData(path));
    QVERIFY2(problem.isEmpty(), qPrintable(problem));
}

int runFuzzInputTests(int argc, char** argv)
{
    TestFuzzInputs test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_fuzzinputs.moc"
