#pragma once

#include <QtGlobal>

namespace orvan::launcher {

/// Decides when a downloaded chunk may start decoding. A decode holds its whole output, whose size
/// comes from the unverified package document until the hash check, so the declared sizes of the
/// decodes running at once are bounded as well as their number: a document that declares huge
/// chunks then costs one such buffer at a time, not one per thread. A decode always may start when
/// none runs, so a chunk larger than the bound still gets its turn. GUI thread only.
class TDecodingBudget
{
public:
    /// Declared bytes that decodes may hold at once.
    static constexpr quint64 DefaultMaxBytes = 1024ull * 1024 * 1024;

    explicit TDecodingBudget(quint64 maxBytes = DefaultMaxBytes);

    /// Whether a decode of bytes declared bytes may start while at most maxRunning may run.
    bool canStart(quint64 bytes, int maxRunning) const;
    void start(quint64 bytes);
    void finish(quint64 bytes);
    int running() const { return m_running; }

private:
    quint64 m_maxBytes;
    quint64 m_runningBytes = 0;
    int m_running = 0;
};

} // namespace orvan::launcher
