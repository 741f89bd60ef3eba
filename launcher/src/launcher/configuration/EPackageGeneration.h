#pragma once

namespace orvan::launcher {

/// The "generation" of a package configuration document.
enum class EPackageGeneration : int
{
    Unknown = 0,
    First = 1,
    Second = 2
};

} // namespace orvan::launcher
