#pragma once

#include "TChunkReuseState.h"

#include "configuration/TChunkInPackage.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace orvan::launcher {

/// Matches the blocks of a local file, fed in file order, against the chunk list of the file's
/// offered version, and records for each chunk position whether its content is already in place,
/// elsewhere in the file, or missing.
class TBlockMatcher
{
public:
    /// One block of the local file as it was fed.
    struct TBlock
    {
        QByteArray hash;
        quint64 offset = 0;
        quint64 length = 0;
    };

    /// Chunks must outlive the matcher; Path only serves the log.
    TBlockMatcher(const std::vector<TChunkInPackage>& chunks, QString path);

    /// The next block of the local file: its raw SHA-256 and length. A chunk matches when both its
    /// hash and its size equal the block's, so a package that lies about a chunk's size can't
    /// make a move read or write past the block.
    void addBlock(const QByteArray& hash, quint64 length);

    /// Forgets every match, as if no block had been fed.
    void reset();

    bool anyReusable() const { return m_anyReusable; }
    /// Every block fed since construction or the last reset, in file order.
    const std::vector<TBlock>& blocks() const { return m_blocks; }
    std::vector<TChunkReuseState>& states() { return m_states; }
    const std::vector<TChunkReuseState>& states() const { return m_states; }

private:
    const std::vector<TChunkInPackage>& m_chunks;
    QString m_path;
    std::vector<TChunkReuseState> m_states;
    std::vector<TBlock> m_blocks;
    quint64 m_sourcePosition = 0;
    bool m_anyReusable = false;
};

} // namespace orvan::launcher
