#pragma once

namespace orvan::launcher {

/// The processor architecture a package build is made for.
enum class EArchitecture : int
{
    Unknown = 0,
    X86 = 1,
    X86_64 = 2
};

} // namespace orvan::launcher
