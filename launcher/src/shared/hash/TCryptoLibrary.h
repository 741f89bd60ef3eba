#pragma once

namespace shared {

/// The process-wide set-up of OpenSSL's libcrypto.
class TCryptoLibrary
{
public:
    /// Initialises libcrypto (digests and error strings) on the calling thread; later calls do
    /// nothing. Call it on the main thread before the first hash runs on a pool thread: libcrypto
    /// then registers its clean-up before the thread pool exists, so the pool's threads end, and
    /// free their per-thread state, before that clean-up runs at exit. Throws std::runtime_error
    /// when libcrypto cannot be initialised.
    static void initialise();
};

} // namespace shared
