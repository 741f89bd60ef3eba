// installation_driver <package document URL> <data folder> <settings file>
//
// Installs the package that the document describes into <data folder> with the launcher's real
// installation manager, the way the launcher does it, and exits 0 once the package is installed
// (2 when the run failed, 3 on a disk error, 4 when the document can't be fetched). Prints
// "written <url>" whenever a chunk has been written, so that a test can stop it at chosen points.
#include "configuration/ELocalPackageStatus.h"
#include "configuration/TLauncherConfigurationReader.h"
#include "configuration/TPackage.h"
#include "configuration/TPackageBuild.h"
#include "configuration/TPackageConfigurationReader.h"
#include "hash/TCryptoLibrary.h"
#include "installation/TPackageFileDownloader.h"
#include "installation/TPackageInstallation.h"
#include "installationmanager/TInstallationManager.h"
#include "network/QNetworkAccessManagerWrapper.h"
#include "network/TDownloadPool.h"
#include "settings/TLauncherFilesystemHelper.h"

#include <QCoreApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QUrl>

#include <cstdio>
#include <memory>

using namespace orvan::launcher;

namespace {

void printLine(const QString& Line)
{
    std::fputs(qPrintable(Line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

/// Keeps the console free of the installation's informational lines.
void quietHandler(QtMsgType Type, const QMessageLogContext&, const QString& Message)
{
    if (Type == QtWarningMsg || Type == QtCriticalMsg || Type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(Message));
}

QByteArray mainConfiguration(const QUrl& PackageDocument)
{
    const QJsonObject build{{QStringLiteral("os"), QStringLiteral("linux")},
                            {QStringLiteral("architecture"), QStringLiteral("x86_64")},
                            {QStringLiteral("url"), PackageDocument.toString()}};
    const QJsonObject package{{QStringLiteral("name"), QStringLiteral("Driven")},
                              {QStringLiteral("directoryname"), QStringLiteral("driven")},
                              {QStringLiteral("builds"), QJsonArray{build}}};
    return QJsonDocument(QJsonObject{{QStringLiteral("packages"), QJsonArray{package}}}).toJson();
}

/// The package document's folder, against which its relative object URLs are resolved.
QUrl folderOf(const QUrl& Document)
{
    return Document.adjusted(QUrl::RemoveFilename | QUrl::StripTrailingSlash);
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: installation_driver <package document URL> <data folder> <settings file>\n");
        return 64;
    }
    shared::TCryptoLibrary::initialise();
    qputenv("XDG_DATA_HOME", QByteArray(argv[2]));
    QCoreApplication application(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Brelmor GmbH"));
    QCoreApplication::setApplicationName(QStringLiteral("Quenmar Online Driver"));
    qInstallMessageHandler(quietHandler);

    const QUrl documentUrl(QString::fromLocal8Bit(argv[1]));
    auto helper = std::make_shared<TLauncherFilesystemHelper>(QString::fromLocal8Bit(argv[3]));
    auto configuration = std::make_shared<TLauncherConfigurationReader>(mainConfiguration(documentUrl), documentUrl);
    const std::shared_ptr<TPackage> package = configuration->packages().at(0);
    std::unique_ptr<TInstallationManager> manager;

    QObject context;
    auto network = std::make_shared<shared::QNetworkAccessManagerWrapper>(std::make_shared<QNetworkAccessManager>());
    shared::TDownloadPool documents(1, network, true);
    QObject::connect(&documents, &shared::TDownloadPool::failed, &context, [] {
        printLine(QStringLiteral("document download failed"));
        QCoreApplication::exit(4);
    });
    QObject::connect(
        &documents, &shared::TDownloadPool::success, &context, [&](const QUrl&, const QByteArray& Document) {
            const QUrl base = folderOf(documentUrl);
            package->currentBuild()->setConfiguration(
                std::make_shared<const TPackageConfigurationReader>(Document, QByteArray(), base, base));
            manager = std::make_unique<TInstallationManager>(configuration, helper);
            QObject::connect(manager.get(), &TInstallationManager::installationOrUpdateStarted, &context,
                             [&](const TPackageInstallation& Installation) {
                                 printLine(QStringLiteral("started"));
                                 QObject::connect(
                                     Installation.fileDownloader(), &TPackageFileDownloader::writeProgress, &context,
                                     [](const QUrl& Url) { printLine(QStringLiteral("written ") + Url.toString()); });
                             });
            QObject::connect(manager.get(), &TInstallationManager::installationOrUpdateFinished, &context,
                             [&](const TPackageInstallation& Installation) {
                                 const bool installed = package->localPackageStatus() == ELocalPackageStatus::Installed;
                                 printLine(
                                     QStringLiteral("finished %1").arg(static_cast<int>(Installation.errorReason())));
                                 QCoreApplication::exit(installed ? 0 : 2);
                             });
            QObject::connect(manager.get(), &TInstallationManager::diskAccessFailed, &context,
                             [](const QString& Message) {
                                 printLine(QStringLiteral("disk access failed: ") + Message);
                                 QCoreApplication::exit(3);
                             });
            manager->installOrUpdatePackage(package);
        });
    documents.addRequest(documentUrl);
    return QCoreApplication::exec();
}
