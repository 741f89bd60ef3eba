#include "support/TTestHttpResponse.h"

#include <zlib.h>

#include <stdexcept>

namespace testsupport {

TTestHttpResponse& TTestHttpResponse::status(int code)
{
    statusCode = code;
    return *this;
}

TTestHttpResponse& TTestHttpResponse::body(const QByteArray& data, const QByteArray& type)
{
    content = data;
    contentFile.clear();
    contentType = type;
    return *this;
}

TTestHttpResponse& TTestHttpResponse::file(const QString& path, const QByteArray& type)
{
    contentFile = path;
    content.clear();
    contentType = type;
    return *this;
}

TTestHttpResponse& TTestHttpResponse::header(const QByteArray& name, const QByteArray& value)
{
    extraHeaders.append({name, value});
    return *this;
}

TTestHttpResponse& TTestHttpResponse::noContentLength()
{
    withoutContentLength = true;
    return *this;
}

TTestHttpResponse& TTestHttpResponse::delay(int ms)
{
    delayMs = ms;
    return *this;
}

TTestHttpResponse& TTestHttpResponse::stall()
{
    fault = EFault::Stall;
    return *this;
}

TTestHttpResponse& TTestHttpResponse::truncate(qint64 sentBytes)
{
    fault = EFault::TruncateBody;
    truncatedLength = sentBytes;
    return *this;
}

TTestHttpResponse& TTestHttpResponse::closeWithoutResponse()
{
    fault = EFault::CloseWithoutResponse;
    return *this;
}

TTestHttpResponse& TTestHttpResponse::redirect(int code, const QByteArray& location)
{
    statusCode = code;
    return header("Location", location);
}

TTestHttpResponse& TTestHttpResponse::failFirst(int count, int code)
{
    failFirstCount = count;
    failStatusCode = code;
    return *this;
}

TTestHttpResponse& TTestHttpResponse::slowBody(qint64 bytesPerPiece, int intervalMs)
{
    pieceSize = bytesPerPiece;
    pieceIntervalMs = intervalMs;
    return *this;
}

TTestHttpResponse& TTestHttpResponse::held()
{
    isHeld = true;
    return *this;
}

TTestHttpResponse& TTestHttpResponse::endless()
{
    isEndless = true;
    withoutContentLength = declaredLength < 0;
    return *this;
}

TTestHttpResponse& TTestHttpResponse::declareLength(qint64 length)
{
    declaredLength = length;
    // Also on an endless body, which otherwise goes without a length.
    withoutContentLength = false;
    return *this;
}

TTestHttpResponse& TTestHttpResponse::gzipBody(const QByteArray& decoded)
{
    body(deflated(decoded, 15 + 16));
    return header("Content-Encoding", "gzip");
}

QByteArray TTestHttpResponse::deflated(const QByteArray& data, int windowBits, int repeat)
{
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, windowBits, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2 failed");
    }
    QByteArray encoded;
    QByteArray piece(64 * 1024, Qt::Uninitialized);
    int result = Z_OK;
    for (int round = 0; round < repeat || result != Z_STREAM_END; ++round) {
        const bool last = round >= repeat - 1;
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.constData()));
        stream.avail_in = round < repeat ? static_cast<uInt>(data.size()) : 0;
        do {
            stream.next_out = reinterpret_cast<Bytef*>(piece.data());
            stream.avail_out = static_cast<uInt>(piece.size());
            result = deflate(&stream, last ? Z_FINISH : Z_NO_FLUSH);
            if (result == Z_STREAM_ERROR) {
                throw std::runtime_error("deflate failed");
            }
            encoded.append(piece.constData(), piece.size() - static_cast<int>(stream.avail_out));
        } while (stream.avail_out == 0 && result != Z_STREAM_END);
    }
    deflateEnd(&stream);
    return encoded;
}

} // namespace testsupport
