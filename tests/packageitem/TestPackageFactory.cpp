#include "TestPackageFactory.h"

#include "configuration/TPackage.h"
#include "configuration/TPackageConfigurationReader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

namespace testsupport {

using namespace orvan::launcher;

std::shared_ptr<TPackage> makeTestPackage(const TTestPackageSpec& Spec)
{
    const QJsonObject build{{"os", "linux"}, {"architecture", "x86_64"}, {"url", "package.json"}};
    QJsonObject object{{"name", Spec.name}, {"builds", QJsonArray{build}}};
    if (!Spec.logoLinkTarget.isEmpty()) {
        object.insert("logolinktarget", Spec.logoLinkTarget);
    }
    auto package = std::make_shared<TPackage>(Spec.index, object, QUrl(QStringLiteral("http://127.0.0.1:1/")));
    const QJsonObject document{{"version", Spec.version}, {"generation", Spec.generation}, {"variant", Spec.variant}};
    TPackageBuild* current = package->currentBuild();
    Q_ASSERT(current);
    current->setConfiguration(std::make_shared<TPackageConfigurationReader>(QJsonDocument(document).toJson(),
                                                                            QByteArray(), current->url(), QUrl()));
    package->setIsDefault(Spec.isDefault);
    package->setLocalPackageStatus(Spec.status);
    return package;
}

} // namespace testsupport
