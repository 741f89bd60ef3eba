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

void printLine(const QString& line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

/// Keeps the console free of the installation's informational lines.
void quietHandler(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtWarningMsg || type == QtCriticalMsg || type == QtFatalMsg)
        std::fprintf(stderr, "%s\n", qPrintable(message));
}

QByteArray mainConfiguration(const QUrl& packageDocument)
{
    const QJsonObject build{{QStringLiteral("os"), QStringLiteral("linux")},
                            {QStringLiteral("architecture"), QStringLiteral("x86_64")},
                            {QStringLiteral("url"), packageDocument.toString()}};
    const QJsonObject package{{QStringLiteral("name"), QStringLiteral("Driven")},
                              {QStringLiteral("directoryname"), QStringLiteral("driven")},
                              {QStringLiteral("builds"), QJsonArray{build}}};
    return QJsonDocument(QJsonObject{{QStringLiteral("packages"), QJsonArray{package}}}).toJson();
}

/// The package document's folder, against which its relative object URLs are resolved.
QUrl folderOf(const QUrl& document)
{
    return document.adjusted(QUrl::RemoveFilename | QUrl::StripTrailingSlash);
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
        &documents, &shared::TDownloadPool::success, &context, [&](const QUrl&, const QByteArray& document) {
            const QUrl base = folderOf(documentUrl);
            package->currentBuild()->setConfiguration(
                std::make_shared<const TPackageConfigurationReader>(document, QByteArray(), base, base));
            manager = std::make_unique<TInstallationManager>(configuration, helper);
            QObject::connect(manager.get(), &TInstallationManager::installationOrUpdateStarted, &context,
                             [&](const TPackageInstallation& installation) {
                                 printLine(QStringLiteral("started"));
                                 QObject::connect(
                                     installation.fileDownloader(), &TPackageFileDownloader::writeProgress, &context,
                                     [](const QUrl& url) { printLine(QStringLiteral("written ") + url.toString()); });
                             });
            QObject::connect(manager.get(), &TInstallationManager::installationOrUpdateFinished, &context,
                             [&](const TPackageInstallation& installation) {
                                 const bool installed = package->localPackageStatus() == ELocalPackageStatus::Installed;
                                 printLine(
                                     QStringLiteral("finished %1").arg(static_cast<int>(installation.errorReason())));
                                 QCoreApplication::exit(installed ? 0 : 2);
                             });
            QObject::connect(manager.get(), &TInstallationManager::diskAccessFailed, &context,
                             [](const QString& message) {
                                 printLine(QStringLiteral("disk access failed: ") + message);
                                 QCoreApplication::exit(3);
                             });
            manager->installOrUpdatePackage(package);
        });
    documents.addRequest(documentUrl);
    return QCoreApplication::exec();
}
