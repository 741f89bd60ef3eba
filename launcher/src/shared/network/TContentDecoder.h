#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QString>

#include <memory>

namespace shared {

/// Decodes a response body sent with Content-Encoding gzip or deflate, portion by portion as its
/// bytes arrive, so that no step holds more than the decoded cap plus one portion. A body that
/// decodes to more than the cap, or past RatioFreeBytes to more than MaxExpansionRatio times the
/// bytes it was decoded from, fails, and so does a corrupt or truncated one. Identity passes
/// through unchanged. One body per decoder; not thread-safe.
class TContentDecoder
{
public:
    enum class ECoding
    {
        Identity,
        Gzip,
        Deflate,
        Unsupported,
    };

    /// The most bytes one call of decode() produces at a time.
    static constexpr qint64 PortionBytes = 64 * 1024;
    /// Documents compress a few times; only a bomb expands a hundredfold.
    static constexpr qint64 MaxExpansionRatio = 100;
    /// Decoded bytes allowed before the ratio counts, so small and repetitive bodies always pass.
    static constexpr qint64 RatioFreeBytes = 1024 * 1024;

    /// The coding a Content-Encoding header value names; an absent header is Identity.
    static ECoding codingOf(const QByteArray& contentEncoding);

    /// maxDecodedBytes below 0: no cap. An Unsupported coding fails at once.
    TContentDecoder(const QByteArray& contentEncoding, qint64 maxDecodedBytes);
    ~TContentDecoder();
    TContentDecoder(const TContentDecoder&) = delete;
    TContentDecoder& operator=(const TContentDecoder&) = delete;

    ECoding coding() const { return m_coding; }
    /// Queues body bytes for decode().
    void feed(const QByteArray& encoded);
    /// Bytes fed and not decoded yet.
    qint64 pendingBytes() const { return m_pending.size() - m_pendingOffset; }
    /// Appends up to maxBytes decoded bytes to output. Returns false once the body has failed.
    bool decode(QByteArray& output, qint64 maxBytes);
    /// To be called when the whole body was fed and decoded: false when it ends before its stream does.
    bool finish();

    bool hasFailed() const { return m_error != QNetworkReply::NoError; }
    QNetworkReply::NetworkError error() const { return m_error; }
    QString errorString() const { return m_errorString; }

private:
    struct TInflater;

    /// Creates the inflater once its framing can be told; false while that needs more bytes.
    bool startInflater();
    /// One inflate step into at most room bytes at the end of output; false on failure.
    bool inflateStep(QByteArray& output, qint64 room);
    void dropConsumedInput();
    bool fail(QNetworkReply::NetworkError code, const QString& text);
    bool failCorrupt();

    ECoding m_coding;
    QByteArray m_contentEncoding;
    qint64 m_maxDecodedBytes;
    std::unique_ptr<TInflater> m_inflater;
    QByteArray m_pending;
    int m_pendingOffset = 0;
    qint64 m_totalIn = 0;
    qint64 m_totalOut = 0;
    /// The current stream has ended; a gzip body may start another member after it.
    bool m_streamEnded = false;
    QNetworkReply::NetworkError m_error = QNetworkReply::NoError;
    QString m_errorString;
};

} // namespace shared
