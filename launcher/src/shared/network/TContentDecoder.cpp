#include "network/TContentDecoder.h"

#include "network/TReplyGuard.h"

#include <zlib.h>

#include <algorithm>
#include <limits>

namespace shared {

namespace {

/// Window bits that make inflate accept a gzip or a zlib header, as HTTP clients do for gzip.
constexpr int GzipOrZlibWindowBits = MAX_WBITS + 32;
constexpr int ZlibWindowBits = MAX_WBITS;
constexpr int RawDeflateWindowBits = -MAX_WBITS;
constexpr unsigned char ZlibDeflateMethod = 8;
constexpr unsigned ZlibHeaderCheck = 31;
/// Consumed input is dropped once this much of it sits in front of the pending bytes.
constexpr int CompactThreshold = 64 * 1024;

/// Servers send "deflate" with and without the zlib wrapper RFC 9110 asks for; its two-byte
/// header (method 8, a multiple of 31) tells them apart.
bool hasZlibHeader(unsigned char first, unsigned char second)
{
    return (first & 0x0f) == ZlibDeflateMethod && ((first << 8) | second) % ZlibHeaderCheck == 0;
}

} // namespace

struct TContentDecoder::TInflater
{
    explicit TInflater(int windowBits) { initialised = inflateInit2(&stream, windowBits) == Z_OK; }
    ~TInflater()
    {
        if (initialised)
            inflateEnd(&stream);
    }
    TInflater(const TInflater&) = delete;
    TInflater& operator=(const TInflater&) = delete;

    z_stream stream{};
    bool initialised = false;
};

TContentDecoder::ECoding TContentDecoder::codingOf(const QByteArray& contentEncoding)
{
    const QByteArray coding = contentEncoding.trimmed().toLower();
    if (coding.isEmpty() || coding == "identity")
        return ECoding::Identity;
    if (coding == "gzip" || coding == "x-gzip")
        return ECoding::Gzip;
    if (coding == "deflate")
        return ECoding::Deflate;
    return ECoding::Unsupported;
}

TContentDecoder::TContentDecoder(const QByteArray& contentEncoding, qint64 maxDecodedBytes)
    : m_coding(codingOf(contentEncoding)), m_contentEncoding(contentEncoding.trimmed()),
      m_maxDecodedBytes(maxDecodedBytes)
{
    if (m_coding == ECoding::Unsupported) {
        fail(QNetworkReply::ProtocolFailure, QStringLiteral("Response uses the unsupported content coding \"%1\"")
                                                 .arg(QString::fromLatin1(m_contentEncoding)));
    }
}

TContentDecoder::~TContentDecoder() = default;

void TContentDecoder::feed(const QByteArray& encoded)
{
    if (!hasFailed())
        m_pending.append(encoded);
}

bool TContentDecoder::decode(QByteArray& output, qint64 maxBytes)
{
    qint64 produced = 0;
    while (!hasFailed() && produced < maxBytes && pendingBytes() > 0) {
        if (m_coding == ECoding::Identity) {
            const qint64 step = std::min(maxBytes - produced, pendingBytes());
            output.append(m_pending.constData() + m_pendingOffset, static_cast<int>(step));
            m_pendingOffset += static_cast<int>(step);
            produced += step;
            continue;
        }
        if (!startInflater())
            break;
        const int before = output.size();
        const qint64 inBefore = m_totalIn;
        if (!inflateStep(output, std::min(maxBytes - produced, PortionBytes)))
            break;
        produced += output.size() - before;
        // Without output or input used the stream waits for bytes not fed yet.
        if (output.size() == before && m_totalIn == inBefore)
            break;
    }
    dropConsumedInput();
    return !hasFailed();
}

bool TContentDecoder::finish()
{
    if (hasFailed())
        return false;
    const bool empty = m_totalIn == 0 && pendingBytes() == 0;
    if (m_coding == ECoding::Identity || empty || (m_streamEnded && pendingBytes() == 0))
        return true;
    return failCorrupt();
}

bool TContentDecoder::startInflater()
{
    if (m_streamEnded) {
        // Concatenated gzip members form one body; after a deflate stream nothing may follow.
        if (m_coding != ECoding::Gzip || inflateReset(&m_inflater->stream) != Z_OK)
            return failCorrupt();
        m_streamEnded = false;
    }
    if (m_inflater)
        return true;
    int windowBits = GzipOrZlibWindowBits;
    if (m_coding == ECoding::Deflate) {
        if (pendingBytes() < 2)
            return false;
        const auto* header = reinterpret_cast<const unsigned char*>(m_pending.constData() + m_pendingOffset);
        windowBits = hasZlibHeader(header[0], header[1]) ? ZlibWindowBits : RawDeflateWindowBits;
    }
    m_inflater = std::make_unique<TInflater>(windowBits);
    if (!m_inflater->initialised)
        return fail(QNetworkReply::UnknownNetworkError, QStringLiteral("Could not start decoding the response"));
    return true;
}

bool TContentDecoder::inflateStep(QByteArray& output, qint64 room)
{
    // One byte past the cap is enough to tell that the body is too large.
    if (m_maxDecodedBytes >= 0)
        room = std::min(room, m_maxDecodedBytes + 1 - m_totalOut);
    const int start = output.size();
    output.resize(start + static_cast<int>(room));
    z_stream& stream = m_inflater->stream;
    const auto available = std::min<qint64>(pendingBytes(), std::numeric_limits<uInt>::max());
    stream.next_in = reinterpret_cast<Bytef*>(m_pending.data() + m_pendingOffset);
    stream.avail_in = static_cast<uInt>(available);
    stream.next_out = reinterpret_cast<Bytef*>(output.data() + start);
    stream.avail_out = static_cast<uInt>(room);
    const int result = inflate(&stream, Z_NO_FLUSH);
    const auto consumed = static_cast<int>(available - stream.avail_in);
    const auto written = static_cast<int>(room - stream.avail_out);
    output.resize(start + written);
    m_pendingOffset += consumed;
    m_totalIn += consumed;
    m_totalOut += written;
    if (result == Z_STREAM_END)
        m_streamEnded = true;
    else if (result != Z_OK && result != Z_BUF_ERROR)
        return failCorrupt();
    if (m_maxDecodedBytes >= 0 && m_totalOut > m_maxDecodedBytes)
        return fail(QNetworkReply::UnknownContentError, TReplyGuard::capReason(m_maxDecodedBytes));
    if (m_totalOut > RatioFreeBytes && m_totalOut > MaxExpansionRatio * m_totalIn) {
        return fail(QNetworkReply::UnknownContentError,
                    QStringLiteral("Response expands more than %1 times when decoded").arg(MaxExpansionRatio));
    }
    return true;
}

void TContentDecoder::dropConsumedInput()
{
    if (m_pendingOffset == m_pending.size()) {
        m_pending.clear();
        m_pendingOffset = 0;
    } else if (m_pendingOffset >= CompactThreshold) {
        m_pending.remove(0, m_pendingOffset);
        m_pendingOffset = 0;
    }
}

bool TContentDecoder::fail(QNetworkReply::NetworkError code, const QString& text)
{
    if (!hasFailed()) {
        m_error = code;
        m_errorString = text;
    }
    m_pending.clear();
    m_pendingOffset = 0;
    m_inflater.reset();
    return false;
}

bool TContentDecoder::failCorrupt()
{
    return fail(QNetworkReply::ProtocolFailure,
                QStringLiteral("Response body is not valid %1 data").arg(QString::fromLatin1(m_contentEncoding)));
}

} // namespace shared
