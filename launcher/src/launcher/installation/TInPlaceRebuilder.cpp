#include "TInPlaceRebuilder.h"

#include "TScratchFile.h"

#include "filesystemhelper/TLinkFreePath.h"

#include <QDebug>
#include <QFileInfo>

#include <algorithm>
#include <utility>

namespace orvan::launcher {

namespace {

// Moves are copied through a bounded buffer, so a chunk of any size costs at most this much memory.
constexpr quint64 CopyBufferSize = 4 * 1024 * 1024;

bool rangesOverlap(quint64 firstOffset, quint64 firstLength, quint64 secondOffset, quint64 secondLength)
{
    return firstOffset < secondOffset + secondLength && secondOffset < firstOffset + firstLength;
}

} // namespace

TInPlaceRebuilder::TInPlaceRebuilder(QString path, quint64 fileSize) : m_path(std::move(path)), m_fileSize(fileSize) {}

TInPlaceRebuilder::~TInPlaceRebuilder() = default;

bool TInPlaceRebuilder::rebuild(std::vector<TChunkReuseState>& states, std::vector<qint32>& chunksToDownload)
{
    if (m_leaveFileUntouched)
        return rebuildByDownload(states, chunksToDownload);
    for (std::size_t position = 0; position < states.size(); ++position) {
        TChunkReuseState& state = states[position];
        if (state.state == TChunkReuseState::Needed) {
            chunksToDownload.push_back(static_cast<qint32>(position));
        } else if (state.state == TChunkReuseState::Elsewhere) {
            if (!protectPendingSources(states, position) || !moveChunk(state))
                return false;
            state.state = TChunkReuseState::InPlace;
        }
    }
    return truncate();
}

bool TInPlaceRebuilder::rebuildByDownload(std::vector<TChunkReuseState>& states,
                                          std::vector<qint32>& chunksToDownload) const
{
    for (std::size_t position = 0; position < states.size(); ++position) {
        if (states[position].state != TChunkReuseState::InPlace)
            chunksToDownload.push_back(static_cast<qint32>(position));
    }
    // Only a rewrite of the file can cut a tail beyond the new size.
    if (chunksToDownload.empty() && !states.empty() && QFileInfo(m_path).size() > static_cast<qint64>(m_fileSize))
        chunksToDownload.push_back(static_cast<qint32>(states.size() - 1));
    return true;
}

bool TInPlaceRebuilder::openFile()
{
    if (m_file.isOpen())
        return true;
    if (!m_base.isEmpty() &&
        (QFileInfo(m_path).isSymLink() || shared::TLinkFreePath::hasLinkedParent(m_base, m_path))) {
        qWarning().noquote().nospace() << "not rebuilding " << m_path << " through a symbolic link";
        return false;
    }
    m_file.setFileName(m_path);
    if (m_file.open(QIODevice::ReadWrite | QIODevice::Unbuffered))
        return true;
    qWarning().noquote().nospace() << "could not open " << m_path << " to reuse its chunks: " << m_file.errorString();
    return false;
}

bool TInPlaceRebuilder::openScratchFile()
{
    if (m_scratchFile)
        return true;
    const QString directory = m_scratchDirectory.isEmpty() ? QFileInfo(m_path).absolutePath() : m_scratchDirectory;
    auto scratchFile = std::make_unique<TScratchFile>(directory);
    if (!scratchFile->isOpen()) {
        qWarning().noquote().nospace() << "could not create a temporary file to rebuild " << m_path << ": "
                                       << scratchFile->errorString();
        return false;
    }
    m_scratchFile = std::move(scratchFile);
    return true;
}

bool TInPlaceRebuilder::protectPendingSources(std::vector<TChunkReuseState>& states, std::size_t position)
{
    const TChunkReuseState& target = states[position];
    for (std::size_t later = position + 1; later < states.size(); ++later) {
        TChunkReuseState& pending = states[later];
        if (pending.state != TChunkReuseState::Elsewhere || pending.savedToTemporaryFile ||
            !rangesOverlap(pending.sourceOffset, pending.length, target.targetOffset, target.length))
            continue;
        if (!openFile() || !openScratchFile() ||
            !copyRange(m_file, pending.sourceOffset, m_scratchFile->file(), m_temporaryOffset, pending.length))
            return false;
        pending.sourceOffset = m_temporaryOffset;
        pending.savedToTemporaryFile = true;
        m_temporaryOffset += pending.length;
    }
    return true;
}

bool TInPlaceRebuilder::moveChunk(TChunkReuseState& state)
{
    if (!openFile())
        return false;
    QFile& source = state.savedToTemporaryFile ? m_scratchFile->file() : m_file;
    return copyRange(source, state.sourceOffset, m_file, state.targetOffset, state.length);
}

bool TInPlaceRebuilder::copyRange(QFile& from, quint64 fromOffset, QFile& to, quint64 toOffset, quint64 length)
{
    if (m_buffer.empty())
        m_buffer.resize(static_cast<std::size_t>(CopyBufferSize));
    // A move to a higher offset inside the same file copies back to front, so that no byte is
    // overwritten before it was read.
    const bool backwards = &from == &to && toOffset > fromOffset;
    quint64 done = 0;
    while (done < length) {
        const quint64 piece = std::min(CopyBufferSize, length - done);
        const quint64 relative = backwards ? length - done - piece : done;
        if (!copyPiece(from, fromOffset + relative, to, toOffset + relative, piece))
            return false;
        done += piece;
    }
    return true;
}

bool TInPlaceRebuilder::copyPiece(QFile& from, quint64 fromOffset, QFile& to, quint64 toOffset, quint64 length)
{
    const qint64 byteCount = static_cast<qint64>(length);
    if (!from.seek(static_cast<qint64>(fromOffset)) || from.read(m_buffer.data(), byteCount) != byteCount) {
        qWarning().noquote().nospace() << "could not read " << length << " bytes at offset " << fromOffset << " of "
                                       << from.fileName() << " while rebuilding " << m_path;
        return false;
    }
    if (!to.seek(static_cast<qint64>(toOffset)) || to.write(m_buffer.data(), byteCount) != byteCount) {
        qWarning().noquote().nospace() << "could not write " << length << " bytes at offset " << toOffset << " of "
                                       << to.fileName() << ": " << to.errorString();
        return false;
    }
    return true;
}

bool TInPlaceRebuilder::truncate()
{
    bool succeeded = true;
    if (QFileInfo(m_path).size() > static_cast<qint64>(m_fileSize)) {
        succeeded = openFile() && m_file.resize(static_cast<qint64>(m_fileSize));
        if (!succeeded)
            qWarning().noquote().nospace() << "could not truncate " << m_path << " to " << m_fileSize << " bytes";
    }
    m_file.close();
    m_scratchFile.reset();
    return succeeded;
}

} // namespace orvan::launcher
