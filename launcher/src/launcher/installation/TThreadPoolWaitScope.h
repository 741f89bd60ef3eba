#pragma once

namespace orvan::launcher {

/// Lends the calling thread's place in the global thread pool to other tasks while the caller
/// blocks waiting for tasks it started there; without this a computation that runs on a pool
/// thread would leave one core idle while its own tasks queue behind it.
class TThreadPoolWaitScope
{
public:
    TThreadPoolWaitScope();
    ~TThreadPoolWaitScope();
    TThreadPoolWaitScope(const TThreadPoolWaitScope&) = delete;
    TThreadPoolWaitScope& operator=(const TThreadPoolWaitScope&) = delete;
};

} // namespace orvan::launcher
