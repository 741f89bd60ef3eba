#pragma once

namespace orvan::launcher {

/// What is installed of a package on this machine, as far as the marker files tell.
enum class ELocalPackageStatus : int
{
    Unknown = 0,
    NotInstalled = 1,
    PartiallyInstalled = 2,
    UpdateRequired = 3,
    Installed = 4
};

} // namespace orvan::launcher
