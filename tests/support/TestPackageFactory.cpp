#include "support/TestPackageFactory.h"

#include "configuration/TPackage.h"
#include "configuration/TPackageConfigurationReader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

namespace testsupport {

using namespace orvan::launcher;

std::shared_ptr<TPackage> makeTestPackage(const TTestPackageTraits& traits)
{
    const QJsonObject build{{"os", "linux"}, {"architecture", "x86_64"}, {"url", "package.json"}};
    QJsonObject object{{"name", traits.name}, {"builds", QJsonArray{build}}};
    if (!traits.logoLinkTarget.isEmpty()) {
        object.insert("logolinktarget", traits.logoLinkTarget);
    }
    auto package = std::make_shared<TPackage>(traits.index, object, QUrl(QStringLiteral("http://127.0.0.1:1/")));
    const QJsonObject document{
        {"version", traits.version}, {"generation", traits.generation}, {"variant", traits.variant}};
    TPackageBuild* current = package->currentBuild();
    Q_ASSERT(current);
    current->setConfiguration(std::make_shared<TPackageConfigurationReader>(QJsonDocument(document).toJson(),
                                                                            QByteArray(), current->url(), QUrl()));
    package->setIsDefault(traits.isDefault);
    package->setLocalPackageStatus(traits.status);
    return package;
}

} // namespace testsupport
