#pragma once

namespace orvan::launcher {

/// The "variant" of a package configuration document.
enum class EPackageVariant : int
{
    Unknown = 0,
    Regular = 1,
    Preview = 2,
    Beta = 3,
    Test = 4
};

} // namespace orvan::launcher
