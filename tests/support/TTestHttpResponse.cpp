#include "support/TTestHttpResponse.h"

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

} // namespace testsupport
