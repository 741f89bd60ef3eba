#pragma once

#include "configuration/ELocalPackageStatus.h"

#include <QString>

#include <memory>

namespace orvan::launcher {
class TPackage;
}

namespace testsupport {

/// What a test package looks like; every field has a usable default.
struct TTestPackageTraits
{
    int index = 0;
    QString name = QStringLiteral("Quenmar Online");
    orvan::launcher::ELocalPackageStatus status = orvan::launcher::ELocalPackageStatus::NotInstalled;
    /// "first" or "second", as in the package document.
    QString generation = QStringLiteral("second");
    /// "regular", "preview", "beta" or "test".
    QString variant = QStringLiteral("regular");
    QString version = QStringLiteral("2.14.0");
    QString logoLinkTarget;
    bool isDefault = false;
};

/// A package with a build for the running platform whose package document has already arrived.
std::shared_ptr<orvan::launcher::TPackage> makeTestPackage(const TTestPackageTraits& traits);

} // namespace testsupport
