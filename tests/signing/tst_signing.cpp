// The signing library and the rules a signed deployment applies to its documents.
#include "configuration/TLauncherConfigurationReader.h"
#include "configuration/TPackageBuild.h"
#include "configurationhandler/TConfigurationTrust.h"
#include "settings/TLauncherSettings.h"
#include "signing/SigningFuzzCheck.h"
#include "signing/StrictBase64.h"
#include "signing/TEd25519Verifier.h"
#include "support/TTemporaryHome.h"
#include "support/TestFiles.h"
#include "support/TestSigningKey.h"

#include <QCryptographicHash>
#include <QSettings>
#include <QTemporaryDir>
#include <QtTest>

using namespace orvan::launcher;
using shared::TEd25519Verifier;
using testsupport::TTestSigningKey;

namespace {

const QByteArray rawKey = QByteArray::fromHex("d75a980182b10ab7d54bfed3c964073a0ee172f3daa62325af021a68f707511a");
const QByteArray keyText = rawKey.toBase64();
const QUrl configurationUrl(QStringLiteral("https://cdn.example.com/launcher/brlmetadata.json"));
const QUrl otherConfigurationUrl(QStringLiteral("https://test.example.com/launcher/brlmetadata.json"));

std::shared_ptr<TLauncherConfigurationReader> configuration(const QByteArray& topLevelMembers)
{
    return std::make_shared<TLauncherConfigurationReader>("{" + topLevelMembers + "}", QUrl());
}

} // namespace

class TestSigning : public QObject
{
    Q_OBJECT

private:
    testsupport::TTemporaryHome m_home;

private slots:
    void initTestCase()
    {
        QCoreApplication::setOrganizationName(QStringLiteral("Brelmor GmbH"));
        QCoreApplication::setApplicationName(QStringLiteral("Quenmar Signing Test"));
    }

    void init() { QSettings().clear(); }

    void textsAreParsedStrictly_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("length");
        QTest::addColumn<QString>("reason");
        QByteArray strayBits = keyText;
        strayBits[42] = 'b'; // the last character before the padding carries two unused bits
        const QByteArray signature = QByteArray(64, '\x5a').toBase64();
        QTest::newRow("key") << keyText << 32 << QString();
        QTest::newRow("surrounding whitespace") << " \t" + keyText + "\r\n" << 32 << QString();
        QTest::newRow("signature") << signature << 64 << QString();
        QTest::newRow("empty") << QByteArray() << 32 << "empty";
        QTest::newRow("only whitespace") << QByteArray(" \n ") << 64 << "empty";
        QTest::newRow("not base64") << QByteArray(43, '@') + '=' << 32 << "not standard base64";
        QTest::newRow("url-safe alphabet") << QByteArray(43, '-') + '=' << 32 << "not standard base64";
        QTest::newRow("missing padding") << keyText.left(43) << 32 << "not standard base64";
        QTest::newRow("stray bits") << strayBits << 32 << "not standard base64";
        QTest::newRow("NUL after the key") << keyText + QByteArray(2, '\0') << 32 << "not standard base64";
        QTest::newRow("inner whitespace") << keyText.left(20) + ' ' + keyText.mid(20) << 32 << "not standard base64";
        QTest::newRow("key as signature") << keyText << 64 << "32 bytes instead of 64";
        QTest::newRow("one byte short") << rawKey.left(31).toBase64() << 32 << "31 bytes instead of 32";
    }

    void textsAreParsedStrictly()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, length);
        QFETCH(QString, reason);
        QString refusal;
        const auto decoded = shared::decodeStrictBase64(text, length, refusal);
        QCOMPARE(refusal, reason);
        QCOMPARE(decoded.has_value(), reason.isEmpty());
        if (decoded)
            QCOMPARE(decoded->toBase64(), text.trimmed());
        QCOMPARE(checkSigningInput(text + '\n' + text), QString());
    }

    void signaturesVerifyOnlyWithATrustedKey()
    {
        const TTestSigningKey first;
        const TTestSigningKey second;
        const QByteArray document = "{\"serial\":3}\n";
        const TEd25519Verifier trusted({QString::fromLatin1(first.publicKeyText())});
        QCOMPARE(trusted.refusal(document, first.signatureText(document)), QString());
        QCOMPARE(trusted.refusal(document + ' ', first.signatureText(document)),
                 QStringLiteral("signature does not match any trusted key"));
        QCOMPARE(trusted.refusal(document, second.signatureText(document)),
                 QStringLiteral("signature does not match any trusted key"));
        QCOMPARE(trusted.refusal(document, "\n"), QStringLiteral("malformed signature (empty)"));

        // Rotation: a malformed entry is set aside, the second key still verifies.
        const TEd25519Verifier rotated({QStringLiteral("not a key"), QString::fromLatin1(first.publicKeyText()),
                                        QString::fromLatin1(second.publicKeyText())});
        QCOMPARE(rotated.keyCount(), 2);
        QCOMPARE(rotated.refusedKeys().size(), 1u);
        QCOMPARE(rotated.refusedKeys().front().reason, QStringLiteral("not standard base64"));
        QCOMPARE(rotated.refusal(document, second.signatureText(document)), QString());

        const TEd25519Verifier none({QString()});
        QCOMPARE(none.refusal(document, first.signatureText(document)),
                 QStringLiteral("no valid public key configured"));
    }

    void publicKeysAreReadFromTheSettingsFile_data()
    {
        QTest::addColumn<QByteArray>("line");
        QTest::addColumn<QStringList>("keys");
        QTest::newRow("absent") << QByteArray() << QStringList();
        QTest::newRow("empty") << QByteArray("publicKeys=") << QStringList();
        QTest::newRow("one") << "publicKeys=" + keyText << QStringList{QString::fromLatin1(keyText)};
        QTest::newRow("two with spaces") << "publicKeys= " + keyText + " , AAAA"
                                         << QStringList{QString::fromLatin1(keyText), QStringLiteral("AAAA")};
        QTest::newRow("empty item kept") << QByteArray("publicKeys=AAAA,") << QStringList{"AAAA", ""};
    }

    void publicKeysAreReadFromTheSettingsFile()
    {
        QFETCH(QByteArray, line);
        QFETCH(QStringList, keys);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("launchersettings.ini"));
        testsupport::writeFile(path, "[URLS]\nlauncherConfiguration=https://127.0.0.1/x\n[SECURITY]\n" + line + "\n");
        QSettings settings(path, QSettings::IniFormat);
        QCOMPARE(TLauncherSettings::fromSettings(settings).publicKeys, keys);
    }

    void signatureUrlAppendsToThePath_data()
    {
        QTest::addColumn<QUrl>("document");
        QTest::addColumn<QUrl>("signature");
        QTest::newRow("plain") << QUrl("https://h/x/brlmetadata.json") << QUrl("https://h/x/brlmetadata.json.sig");
        QTest::newRow("query") << QUrl("https://h/x/brlmetadata.json?a=1#f")
                               << QUrl("https://h/x/brlmetadata.json.sig?a=1#f");
        QTest::newRow("encoded") << QUrl("http://127.0.0.1:80/a%20b/c.json?q=%2F")
                                 << QUrl("http://127.0.0.1:80/a%20b/c.json.sig?q=%2F");
    }

    void signatureUrlAppendsToThePath()
    {
        QFETCH(QUrl, document);
        QFETCH(QUrl, signature);
        QCOMPARE(TConfigurationTrust::signatureUrl(document), signature);
    }

    void freshnessFollowsSerialAndExpiry_data()
    {
        QTest::addColumn<qint64>("stored");
        QTest::addColumn<QByteArray>("members");
        QTest::addColumn<QString>("reason");
        QTest::addColumn<bool>("expired");
        QTest::newRow("nothing stored, no serial") << qint64(0) << QByteArray() << QString() << false;
        QTest::newRow("same serial") << qint64(5) << QByteArray("\"serial\":5") << QString() << false;
        QTest::newRow("lower serial") << qint64(5) << QByteArray("\"serial\":4")
                                      << "serial 4 is lower than 5, already accepted" << false;
        QTest::newRow("no serial after one")
            << qint64(1) << QByteArray() << "serial 0 is lower than 1, already accepted" << false;
        QTest::newRow("fraction") << qint64(0) << QByteArray("\"serial\":1.5") << "malformed serial" << false;
        QTest::newRow("negative") << qint64(0) << QByteArray("\"serial\":-1") << "malformed serial" << false;
        QTest::newRow("text") << qint64(0) << QByteArray("\"serial\":\"7\"") << "malformed serial" << false;
        QTest::newRow("future") << qint64(0) << QByteArray("\"expires\":\"2999-01-01T00:00:00Z\"") << QString()
                                << false;
        QTest::newRow("past") << qint64(0) << QByteArray("\"expires\":\"2001-02-03T04:05:06Z\"")
                              << "expired at 2001-02-03T04:05:06Z" << true;
        QTest::newRow("no time") << qint64(0) << QByteArray("\"expires\":\"2999-01-01\"") << "malformed expiry time"
                                 << false;
        QTest::newRow("not text") << qint64(0) << QByteArray("\"expires\":1") << "malformed expiry time" << false;
    }

    void freshnessFollowsSerialAndExpiry()
    {
        QFETCH(qint64, stored);
        QFETCH(QByteArray, members);
        QFETCH(QString, reason);
        QFETCH(bool, expired);
        QSettings().setValue(TConfigurationTrust::highestSerialKey(configurationUrl), stored);
        const TConfigurationTrust trust({QString::fromLatin1(keyText)}, configurationUrl);
        const auto refusal = trust.checkFreshness(*configuration(members), QDateTime::currentDateTimeUtc());
        QCOMPARE(refusal.reason, reason);
        QCOMPARE(refusal.expired, expired);
    }

    void highestSerialOnlyGrows()
    {
        const TConfigurationTrust trust({QString::fromLatin1(keyText)}, configurationUrl);
        trust.recordAccepted(*configuration("\"serial\":7"));
        trust.recordAccepted(*configuration("\"serial\":3"));
        QCOMPARE(QSettings().value(TConfigurationTrust::highestSerialKey(configurationUrl)).toLongLong(), qint64(7));
        QVERIFY(!QSettings().contains(TConfigurationTrust::highestSerialKey(otherConfigurationUrl)));
    }

    // One floor per main configuration URL; the single value of older launchers becomes the floor
    // of the URL whose trust is built first, and applies to no other.
    void highestSerialIsKeptPerUrl_data()
    {
        QTest::addColumn<qint64>("legacy"); // 0: none stored
        QTest::addColumn<qint64>("otherUrlFloor");
        QTest::addColumn<bool>("otherUrlFirst");
        QTest::addColumn<int>("serial");
        QTest::addColumn<QString>("reason");
        QTest::newRow("legacy floor adopted")
            << qint64(5) << qint64(0) << false << 4 << "serial 4 is lower than 5, already accepted";
        QTest::newRow("legacy floor reached") << qint64(5) << qint64(0) << false << 5 << QString();
        QTest::newRow("other URL's floor") << qint64(0) << qint64(9) << false << 1 << QString();
        QTest::newRow("legacy adopted by the other URL") << qint64(5) << qint64(0) << true << 1 << QString();
    }

    void highestSerialIsKeptPerUrl()
    {
        QFETCH(qint64, legacy);
        QFETCH(qint64, otherUrlFloor);
        QFETCH(bool, otherUrlFirst);
        QFETCH(int, serial);
        QFETCH(QString, reason);
        if (legacy > 0)
            QSettings().setValue(TConfigurationTrust::LegacyHighestSerialKey, legacy);
        if (otherUrlFloor > 0)
            QSettings().setValue(TConfigurationTrust::highestSerialKey(otherConfigurationUrl), otherUrlFloor);
        const QStringList keys{QString::fromLatin1(keyText)};
        if (otherUrlFirst) {
            // Built for the other URL, it takes the legacy floor with it.
            const TConfigurationTrust adopting(keys, otherConfigurationUrl);
        }
        const TConfigurationTrust trust(keys, configurationUrl);
        const auto refusal = trust.checkFreshness(*configuration("\"serial\":" + QByteArray::number(serial)),
                                                  QDateTime::currentDateTimeUtc());
        QCOMPARE(refusal.reason, reason);
        QVERIFY(!QSettings().contains(TConfigurationTrust::LegacyHighestSerialKey));
    }

    void pinsMatchTheDocuments_data()
    {
        const QByteArray package = "{\"version\":\"1\"}";
        const QByteArray asset = "{\"version\":2}";
        const QString packagePin =
            QString::fromLatin1(QCryptographicHash::hash(package, QCryptographicHash::Sha256).toHex());
        const QString assetPin =
            QString::fromLatin1(QCryptographicHash::hash(asset, QCryptographicHash::Sha256).toHex());
        QTest::addColumn<QString>("sha256");
        QTest::addColumn<QString>("assetsSha256");
        QTest::addColumn<bool>("hasAssets");
        QTest::addColumn<QByteArray>("assetDocument");
        QTest::addColumn<QString>("reason");
        QTest::newRow("both match") << packagePin << assetPin << true << asset << QString();
        QTest::newRow("upper-case pin") << packagePin.toUpper() << assetPin << true << asset << QString();
        QTest::newRow("no assets, no asset pin") << packagePin << QString() << false << QByteArray() << QString();
        QTest::newRow("package not pinned")
            << QString() << assetPin << true << asset << "the package document is not pinned by a SHA-256";
        QTest::newRow("asset not pinned")
            << packagePin << QString() << true << asset << "the asset document is not pinned by a SHA-256";
        QTest::newRow("asset altered") << packagePin << assetPin << true << asset + ' '
                                       << "the SHA-256 of the asset document differs from its pin";
        QTest::newRow("package pin of the asset")
            << assetPin << assetPin << true << asset << "the SHA-256 of the package document differs from its pin";
    }

    void pinsMatchTheDocuments()
    {
        QFETCH(QString, sha256);
        QFETCH(QString, assetsSha256);
        QFETCH(bool, hasAssets);
        QFETCH(QByteArray, assetDocument);
        QFETCH(QString, reason);
        TPackageBuild build(EOperatingSystem::Linux, EArchitecture::X86_64, QUrl("http://127.0.0.1/p.json"),
                            hasAssets ? QUrl("http://127.0.0.1/a.json") : QUrl());
        build.setPins(sha256, assetsSha256);
        QCOMPARE(TConfigurationTrust::pinRefusal(build, "{\"version\":\"1\"}", assetDocument), reason);
    }
};

QTEST_GUILESS_MAIN(TestSigning)
#include "tst_signing.moc"
