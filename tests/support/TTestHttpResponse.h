#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QPair>
#include <QString>

namespace testsupport {

/// What the test server answers for one path, including injected faults.
/// Built with chained setters: TTestHttpResponse().status(503).body("busy").delay(200).
struct TTestHttpResponse
{
    enum class EFault
    {
        None,
        /// Status line and headers (with the full Content-Length), then silence on an open connection.
        Stall,
        /// Full Content-Length announced, only truncatedLength body bytes sent, then the connection closes.
        TruncateBody,
        /// The connection closes as soon as the request has arrived, with no byte of response.
        CloseWithoutResponse
    };

    int statusCode = 200;
    QByteArray contentType = "application/octet-stream";
    QList<QPair<QByteArray, QByteArray>> extraHeaders;
    QByteArray content;
    /// When set, the body is streamed from this file instead of content.
    QString contentFile;
    /// The body is ended by closing the connection instead of a Content-Length header.
    bool withoutContentLength = false;
    int delayMs = 0;
    EFault fault = EFault::None;
    /// Body bytes really sent with EFault::TruncateBody; -1 sends half of the body.
    qint64 truncatedLength = -1;
    /// The first failFirstCount requests for the path fail; later ones get this response.
    int failFirstCount = 0;
    /// Status of those failures; 0 closes the connection without a response instead.
    int failStatusCode = 503;
    /// Slow body: pieces of pieceSize bytes with pieceIntervalMs between them (0 sends at once).
    qint64 pieceSize = 0;
    int pieceIntervalMs = 0;
    /// The response waits until the test calls TTestHttpServer::releaseHeld for its path.
    bool isHeld = false;
    /// The body repeats content (or filler bytes) for ever, without a Content-Length.
    bool isEndless = false;
    /// When 0 or more, the Content-Length announced instead of the real one; the connection closes
    /// after the real body.
    qint64 declaredLength = -1;

    TTestHttpResponse& status(int code);
    TTestHttpResponse& body(const QByteArray& data, const QByteArray& type = "application/octet-stream");
    TTestHttpResponse& file(const QString& path, const QByteArray& type = "application/octet-stream");
    TTestHttpResponse& header(const QByteArray& name, const QByteArray& value);
    TTestHttpResponse& noContentLength();
    TTestHttpResponse& delay(int ms);
    TTestHttpResponse& stall();
    TTestHttpResponse& truncate(qint64 sentBytes = -1);
    TTestHttpResponse& closeWithoutResponse();
    /// Status code plus Location; a location starting with '/' is made absolute on this server.
    TTestHttpResponse& redirect(int code, const QByteArray& location);
    TTestHttpResponse& failFirst(int count, int code = 503);
    TTestHttpResponse& slowBody(qint64 bytesPerPiece, int intervalMs);
    TTestHttpResponse& held();
    /// See isEndless; combine with slowBody for a trickle that never ends.
    TTestHttpResponse& endless();
    TTestHttpResponse& declareLength(qint64 length);
    /// The body gzip-compressed with "Content-Encoding: gzip": a few KiB of zeros can decode to
    /// many MiB.
    TTestHttpResponse& gzipBody(const QByteArray& decoded);

    /// data repeated repeat times, compressed as a whole with zlib's window bits (31 gzip, 15 zlib,
    /// -15 raw deflate) without holding the repeated data: 1 MiB of zeros repeated 2048 times is a
    /// 2 MiB body that decodes to 2 GiB.
    static QByteArray deflated(const QByteArray& data, int windowBits, int repeat = 1);
};

} // namespace testsupport

// Lets tests put responses into their data tables.
Q_DECLARE_METATYPE(testsupport::TTestHttpResponse)
