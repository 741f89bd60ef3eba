#include "TInPlaceRebuilder.h"

#include "filesystemhelper/TLinkFreePath.h"

#include <QDebug>
#include <QFileInfo>

#include <algorithm>
#include <utility>

namespace orvan::launcher {

namespace {

// Moves are copied through a bounded buffer, so a chunk of any size costs at most this much memory.
constexpr quint64 CopyBufferSize = 4 * 1024 * 1024;

bool rangesOverlap(quint64 FirstOffset, quint64 FirstLength, quint64 SecondOffset, quint64 SecondLength)
{
    return FirstOffset < SecondOffset + SecondLength && SecondOffset < FirstOffset + FirstLength;
}

} // namespace

TInPlaceRebuilder::TInPlaceRebuilder(QString Path, quint64 FileSize) : m_path(std::move(Path)), m_fileSize(FileSize) {}

TInPlaceRebuilder::~TInPlaceRebuilder() = default;

bool TInPlaceRebuilder::rebuild(std::vector<TChunkReuseState>& States, std::vector<qint32>& ChunksToDownload)
{
    if (m_leaveFileUntouched)
        return rebuildByDownload(States, ChunksToDownload);
    for (std::size_t position = 0; position < States.size(); ++position) {
        TChunkReuseState& state = States[position];
        if (state.state == TChunkReuseState::Needed) {
            ChunksToDownload.push_back(static_cast<qint32>(position));
        } else if (state.state == TChunkReuseState::Elsewhere) {
            if (!protectPendingSources(States, position) || !moveChunk(state))
                return false;
            state.state = TChunkReuseState::InPlace;
        }
    }
    return truncate();
}

bool TInPlaceRebuilder::rebuildByDownload(std::vector<TChunkReuseState>& States,
                                          std::vector<qint32>& ChunksToDownload) const
{
    for (std::size_t position = 0; position < States.size(); ++position) {
        if (States[position].state != TChunkReuseState::InPlace)
            ChunksToDownload.push_back(static_cast<qint32>(position));
    }
    // Only a rewrite of the file can cut a tail beyond the new size.
    if (ChunksToDownload.empty() && !States.empty() && QFileInfo(m_path).size() > static_cast<qint64>(m_fileSize))
        ChunksToDownload.push_back(static_cast<qint32>(States.size() - 1));
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

bool TInPlaceRebuilder::openTemporaryFile()
{
    if (m_temporaryFile)
        return true;
    auto temporaryFile = std::make_unique<QTemporaryFile>();
    if (!temporaryFile->open()) {
        qWarning().noquote().nospace() << "could not create a temporary file to rebuild " << m_path << ": "
                                       << temporaryFile->errorString();
        return false;
    }
    m_temporaryFile = std::move(temporaryFile);
    return true;
}

bool TInPlaceRebuilder::protectPendingSources(std::vector<TChunkReuseState>& States, std::size_t Position)
{
    const TChunkReuseState& target = States[Position];
    for (std::size_t later = Position + 1; later < States.size(); ++later) {
        TChunkReuseState& pending = States[later];
        if (pending.state != TChunkReuseState::Elsewhere || pending.savedToTemporaryFile ||
            !rangesOverlap(pending.sourceOffset, pending.length, target.targetOffset, target.length))
            continue;
        if (!openFile() || !openTemporaryFile() ||
            !copyRange(m_file, pending.sourceOffset, *m_temporaryFile, m_temporaryOffset, pending.length))
            return false;
        pending.sourceOffset = m_temporaryOffset;
        pending.savedToTemporaryFile = true;
        m_temporaryOffset += pending.length;
    }
    return true;
}

bool TInPlaceRebuilder::moveChunk(TChunkReuseState& State)
{
    if (!openFile())
        return false;
    QFile& source = State.savedToTemporaryFile ? static_cast<QFile&>(*m_temporaryFile) : m_file;
    return copyRange(source, State.sourceOffset, m_file, State.targetOffset, State.length);
}

bool TInPlaceRebuilder::copyRange(QFile& From, quint64 FromOffset, QFile& To, quint64 ToOffset, quint64 Length)
{
    if (m_buffer.empty())
        m_buffer.resize(static_cast<std::size_t>(CopyBufferSize));
    // A move to a higher offset inside the same file copies back to front, so that no byte is
    // overwritten before it was read.
    const bool backwards = &From == &To && ToOffset > FromOffset;
    quint64 done = 0;
    while (done < Length) {
        const quint64 piece = std::min(CopyBufferSize, Length - done);
        const quint64 relative = backwards ? Length - done - piece : done;
        if (!copyPiece(From, FromOffset + relative, To, ToOffset + relative, piece))
            return false;
        done += piece;
    }
    return true;
}

bool TInPlaceRebuilder::copyPiece(QFile& From, quint64 FromOffset, QFile& To, quint64 ToOffset, quint64 Length)
{
    const qint64 byteCount = static_cast<qint64>(Length);
    if (!From.seek(static_cast<qint64>(FromOffset)) || From.read(m_buffer.data(), byteCount) != byteCount) {
        qWarning().noquote().nospace() << "could not read " << Length << " bytes at offset " << FromOffset << " of "
                                       << From.fileName() << " while rebuilding " << m_path;
        return false;
    }
    if (!To.seek(static_cast<qint64>(ToOffset)) || To.write(m_buffer.data(), byteCount) != byteCount) {
        qWarning().noquote().nospace() << "could not write " << Length << " bytes at offset " << ToOffset << " of "
                                       << To.fileName() << ": " << To.errorString();
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
    m_temporaryFile.reset();
    return succeeded;
}

} // namespace orvan::launcher
