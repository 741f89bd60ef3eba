#pragma once

namespace orvan::launcher {

/// The operating system a package build is made for.
enum class EOperatingSystem : int
{
    Unknown = 0,
    Windows = 1,
    MacOS = 2,
    Linux = 3
};

} // namespace orvan::launcher
