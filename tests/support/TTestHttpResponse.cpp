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
    z_stream stream{};
    // 15 + 16: a gzip header and trailer around the deflate data.
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, 15 + 16, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("deflateInit2 failed");
    }
    QByteArray encoded(static_cast<int>(deflateBound(&stream, static_cast<uLong>(decoded.size()))), '\0');
    stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(decoded.constData()));
    stream.avail_in = static_cast<uInt>(decoded.size());
    stream.next_out = reinterpret_cast<Bytef*>(encoded.data());
    stream.avail_out = static_cast<uInt>(encoded.size());
    const int result = deflate(&stream, Z_FINISH);
    encoded.resize(static_cast<int>(stream.total_out));
    deflateEnd(&stream);
    if (result != Z_STREAM_END) {
        throw std::runtime_error("deflate failed");
    }
    body(encoded);
    return header("Content-Encoding", "gzip");
}

} // namespace testsupport
