#pragma once

namespace orvan::launcher {

/// Registers the types that the installation's signals carry across threads, under the names
/// its signals are declared with. Safe to call any number of times from any thread.
void registerInstallationMetaTypes();

} // namespace orvan::launcher
