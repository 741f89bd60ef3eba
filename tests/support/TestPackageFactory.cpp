#include "support/TestPackageFactory.h"

#include "configuration/TPackage.h"
#include "configuration/TPackageConfigurationReader.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QUrl>

namespace testsupport {

using namespace orvan::launcher;

std::shared_ptr<TPackage> makeTestPackage(const TTestPackageTraits& Traits)
{
    const QJsonObject build{{"os", "linux"}, {"architecture", "x86_64"}, {"url", "package.json"}};
    QJsonObject object{{"name", Traits.name}, {"builds", QJsonArray{build}}};
    if (!Traits.logoLinkTarget.isEmpty()) {
        object.insert("logolinktarget", Traits.logoLinkTarget);
    }
    auto package = std::make_shared<TPackage>(Traits.index, object, QUrl(QStringLiteral("http://127.0.0.1:1/")));
    const QJsonObject document{
        {"version", Traits.version}, {"generation", Traits.generation}, {"variant", Traits.variant}};
    TPackageBuild* current = package->currentBuild();
    Q_ASSERT(current);
    current->setConfiguration(std::make_shared<TPackageConfigurationReader>(QJsonDocument(document).toJson(),
                                                                            QByteArray(), current->url(), QUrl()));
    package->setIsDefault(Traits.isDefault);
    package->setLocalPackageStatus(Traits.status);
    return package;
}

} // namespace testsupport
