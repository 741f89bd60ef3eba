#pragma once

namespace orvan::launcher {

/// Whether an installation replaces the running launcher's own files. The values are the numbers the downloader and
/// its log lines use.
enum class ESelfUpdateMode : int
{
    Off = 0,
    /// Files that cannot be deleted before they are rewritten, such as the running executable, are kept as ".old".
    Launcher = 1
};

} // namespace orvan::launcher
