#include "InstallationMetaTypes.h"

#include "EPackageDownloaderError.h"
#include "TPackageDifference.h"

#include "configuration/TFileSize.h"
#include "configuration/TPackage.h"

#include <QMetaType>

#include <memory>
#include <mutex>

namespace orvan::launcher {

void registerInstallationMetaTypes()
{
    static std::once_flag registered;
    std::call_once(registered, [] {
        // Signals name the types as written inside the namespace; queued connections and
        // QSignalSpy look them up by exactly that text.
        qRegisterMetaType<TFileSize>("TFileSize");
        qRegisterMetaType<TFileSize>("orvan::launcher::TFileSize");
        qRegisterMetaType<std::shared_ptr<TPackage>>("std::shared_ptr<TPackage>");
        qRegisterMetaType<std::shared_ptr<TPackage>>();
        qRegisterMetaType<TPackageDifference>("TPackageDifference");
        qRegisterMetaType<TPackageDifference>();
        qRegisterMetaType<EPackageDownloaderError>("EPackageDownloaderError");
        qRegisterMetaType<EPackageDownloaderError>();
    });
}

} // namespace orvan::launcher
