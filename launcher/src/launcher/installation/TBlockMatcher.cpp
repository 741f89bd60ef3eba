#include "TBlockMatcher.h"

#include <QDebug>
#include <QThread>

#include <utility>

namespace orvan::launcher {

TBlockMatcher::TBlockMatcher(const std::vector<TChunkInPackage>& chunks, QString path)
    : m_chunks(chunks), m_path(std::move(path)), m_states(chunks.size())
{}

void TBlockMatcher::addBlock(const QByteArray& hash, quint64 length)
{
    m_blocks.push_back({hash, m_sourcePosition, length});
    quint64 target = 0;
    for (std::size_t position = 0; position < m_chunks.size(); ++position) {
        const TChunkInPackage& chunk = m_chunks[position];
        TChunkReuseState& state = m_states[position];
        const quint64 chunkTarget = target;
        target += chunk.unpackedSize;

        if (state.state == TChunkReuseState::InPlace ||
            (state.state == TChunkReuseState::Elsewhere && chunkTarget != m_sourcePosition))
            continue;
        if (chunk.unpackedSize != length || chunk.unpackedHash != hash)
            continue;

        m_anyReusable = true;
        if (chunkTarget == m_sourcePosition) {
            state = TChunkReuseState{TChunkReuseState::InPlace, 0, chunkTarget, chunk.unpackedSize, false};
            qInfo().noquote().nospace() << "reuseable chunk on correct position found " << chunk.url.toString()
                                        << " file: " << m_path << " offset: " << chunkTarget
                                        << " Thread: " << QThread::currentThreadId();
        } else if (state.state == TChunkReuseState::Needed) {
            state =
                TChunkReuseState{TChunkReuseState::Elsewhere, m_sourcePosition, chunkTarget, chunk.unpackedSize, false};
            qInfo().noquote().nospace() << "reuseable chunk on wrong position found " << chunk.url.toString()
                                        << " file: " << m_path << " source offset: " << m_sourcePosition
                                        << " target offset: " << chunkTarget
                                        << " Thread: " << QThread::currentThreadId();
        }
    }
    m_sourcePosition += length;
}

void TBlockMatcher::reset()
{
    m_states.assign(m_chunks.size(), TChunkReuseState());
    m_blocks.clear();
    m_sourcePosition = 0;
    m_anyReusable = false;
}

} // namespace orvan::launcher
