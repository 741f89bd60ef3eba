#include "support/TTestHttpConnection.h"

#include "support/TTestHttpServer.h"

#include <algorithm>
#include <limits>

namespace testsupport {

namespace {

constexpr int MaxHeaderBytes = 64 * 1024;
constexpr qint64 BlockSize = 64 * 1024;
// Keeps memory flat for huge files: the next block is read only when the socket drained below this.
constexpr qint64 MaxBufferedBytes = 256 * 1024;

QByteArray reasonPhrase(int statusCode)
{
    switch (statusCode) {
    case 200:
        return "OK";
    case 201:
        return "Created";
    case 204:
        return "No Content";
    case 206:
        return "Partial Content";
    case 301:
        return "Moved Permanently";
    case 302:
        return "Found";
    case 303:
        return "See Other";
    case 304:
        return "Not Modified";
    case 307:
        return "Temporary Redirect";
    case 308:
        return "Permanent Redirect";
    case 400:
        return "Bad Request";
    case 401:
        return "Unauthorized";
    case 403:
        return "Forbidden";
    case 404:
        return "Not Found";
    case 405:
        return "Method Not Allowed";
    case 408:
        return "Request Timeout";
    case 429:
        return "Too Many Requests";
    case 431:
        return "Request Header Fields Too Large";
    case 500:
        return "Internal Server Error";
    case 501:
        return "Not Implemented";
    case 502:
        return "Bad Gateway";
    case 503:
        return "Service Unavailable";
    case 504:
        return "Gateway Timeout";
    default:
        return "Status";
    }
}

bool hasNoBody(int statusCode)
{
    return (statusCode >= 100 && statusCode < 200) || statusCode == 204 || statusCode == 304;
}

} // namespace

TTestHttpConnection::TTestHttpConnection(QTcpSocket* socket, int id, TTestHttpServer* server)
    : QObject(server), m_socket(socket), m_id(id), m_server(server)
{
    m_socket->setParent(this);
    m_pieceTimer.setSingleShot(true);
    connect(&m_pieceTimer, &QTimer::timeout, this, &TTestHttpConnection::pumpBody);
    connect(m_socket, &QTcpSocket::readyRead, this, &TTestHttpConnection::onReadyRead);
    connect(m_socket, &QTcpSocket::bytesWritten, this, &TTestHttpConnection::onBytesWritten);
    connect(m_socket, &QTcpSocket::disconnected, this, &TTestHttpConnection::onDisconnected);
    if (m_socket->bytesAvailable() > 0) {
        QMetaObject::invokeMethod(this, &TTestHttpConnection::onReadyRead, Qt::QueuedConnection);
    }
}

TTestHttpConnection::~TTestHttpConnection() = default;

bool TTestHttpConnection::isHeldFor(const QByteArray& path) const
{
    if (m_state != EState::Held || m_pending.empty()) {
        return false;
    }
    const TTestHttpRequest& request = m_pending.front().request;
    return path.isEmpty() || TTestHttpServer::targetMatches(request, path);
}

bool TTestHttpConnection::releaseHeld(const QByteArray& path)
{
    if (!isHeldFor(path)) {
        return false;
    }
    m_pending.front().response.isHeld = false;
    m_state = EState::Idle;
    serveNext();
    return true;
}

void TTestHttpConnection::abort()
{
    m_state = EState::Closing;
    m_socket->abort();
    onDisconnected();
}

void TTestHttpConnection::onReadyRead()
{
    if (m_state == EState::Closing) {
        return;
    }
    const QByteArray arrived = m_socket->readAll();
    m_server->bytesReceived(arrived.size());
    m_input.append(arrived);
    while (m_state != EState::Closing && parseRequest()) {
    }
    serveNext();
}

void TTestHttpConnection::onBytesWritten()
{
    if (m_state == EState::Sending && !m_pieceTimer.isActive()) {
        pumpBody();
    }
}

void TTestHttpConnection::onDisconnected()
{
    if (m_closeReported) {
        return;
    }
    m_closeReported = true;
    m_state = EState::Closing;
    m_pieceTimer.stop();
    const int dropped = static_cast<int>(m_pending.size());
    m_pending.clear();
    m_server->requestsFinished(dropped);
    m_server->connectionClosed(this);
}

bool TTestHttpConnection::parseRequest()
{
    const int headerEnd = m_input.indexOf("\r\n\r\n");
    if (headerEnd < 0) {
        if (m_input.size() > MaxHeaderBytes) {
            rejectAndClose(431);
        }
        return false;
    }

    TTestHttpRequest request;
    const QList<QByteArray> lines = m_input.left(headerEnd).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    if (requestLine.size() != 3 || !requestLine[2].startsWith("HTTP/")) {
        rejectAndClose(400);
        return false;
    }
    request.method = requestLine[0];
    request.target = requestLine[1];
    request.version = requestLine[2];
    for (int i = 1; i < lines.size(); ++i) {
        const QByteArray line = lines[i].trimmed();
        const int colon = line.indexOf(':');
        if (colon <= 0) {
            rejectAndClose(400);
            return false;
        }
        request.headers.append({line.left(colon).trimmed(), line.mid(colon + 1).trimmed()});
    }
    if (request.hasHeader("Transfer-Encoding")) {
        rejectAndClose(501);
        return false;
    }

    qint64 bodyLength = 0;
    if (request.hasHeader("Content-Length")) {
        bool valid = false;
        bodyLength = request.header("Content-Length").toLongLong(&valid);
        if (!valid || bodyLength < 0) {
            rejectAndClose(400);
            return false;
        }
    }
    const qint64 requestLength = headerEnd + 4 + bodyLength;
    if (m_input.size() < requestLength) {
        return false;
    }
    request.body = m_input.mid(headerEnd + 4, static_cast<int>(bodyLength));
    m_input.remove(0, static_cast<int>(requestLength));
    request.connectionId = m_id;

    const QByteArray connectionHeader = request.header("Connection").toLower();
    TPending pending;
    pending.keepAlive = request.version == "HTTP/1.0" ? connectionHeader == "keep-alive" : connectionHeader != "close";
    pending.response = m_server->acceptRequest(request);
    pending.request = request;
    m_pending.push_back(std::move(pending));
    // Announced only now, so a test reacting to it (for example by releasing) finds the request queued.
    emit m_server->requestReceived(request);
    return true;
}

void TTestHttpConnection::rejectAndClose(int statusCode)
{
    m_state = EState::Closing;
    m_socket->write("HTTP/1.1 " + QByteArray::number(statusCode) + ' ' + reasonPhrase(statusCode) +
                    "\r\nContent-Length: 0\r\nConnection: close\r\n\r\n");
    closeAfterWrite();
}

void TTestHttpConnection::serveNext()
{
    if (m_state != EState::Idle || m_pending.empty()) {
        return;
    }
    const TTestHttpResponse& response = m_pending.front().response;
    if (response.isHeld) {
        m_state = EState::Held;
    } else if (response.delayMs > 0) {
        m_state = EState::Waiting;
        QTimer::singleShot(response.delayMs, this, [this] {
            if (m_state == EState::Waiting) {
                beginResponse();
            }
        });
    } else {
        beginResponse();
    }
}

void TTestHttpConnection::beginResponse()
{
    TPending& pending = m_pending.front();
    const TTestHttpResponse& response = pending.response;
    if (response.fault == TTestHttpResponse::EFault::CloseWithoutResponse) {
        const QByteArray target = pending.request.target;
        m_pending.pop_front();
        m_state = EState::Closing;
        m_server->responseCompleted(target);
        closeAfterWrite();
        return;
    }
    if (!openBody(response)) {
        pending.response = TTestHttpResponse().status(500).body("Cannot read " + response.contentFile.toUtf8());
        openBody(pending.response);
    }

    if (response.isEndless && m_bodyData.isEmpty()) {
        m_bodyData = QByteArray(BlockSize, 'e');
    }
    const qint64 bodyLength = m_bodyFile ? m_bodyFile->size() : m_bodyData.size();
    m_bodyLimit = (pending.request.method == "HEAD" || hasNoBody(response.statusCode)) ? 0 : bodyLength;
    if (response.isEndless && m_bodyLimit > 0) {
        m_bodyLimit = std::numeric_limits<qint64>::max();
    }
    if (response.fault == TTestHttpResponse::EFault::TruncateBody) {
        m_bodyLimit = response.truncatedLength < 0 ? bodyLength / 2 : std::min(response.truncatedLength, bodyLength);
    }
    m_bodySent = 0;
    writeHead(pending, bodyLength);
    if (response.fault == TTestHttpResponse::EFault::Stall) {
        m_state = EState::Stalled;
        return;
    }
    m_state = EState::Sending;
    pumpBody();
}

bool TTestHttpConnection::openBody(const TTestHttpResponse& response)
{
    m_bodyFile.reset();
    m_bodyData.clear();
    if (response.contentFile.isEmpty()) {
        m_bodyData = response.content;
        return true;
    }
    auto file = std::make_unique<QFile>(response.contentFile);
    if (!file->open(QIODevice::ReadOnly)) {
        return false;
    }
    m_bodyFile = std::move(file);
    return true;
}

void TTestHttpConnection::writeHead(const TPending& pending, qint64 bodyLength)
{
    const TTestHttpResponse& response = pending.response;
    const bool closes = closesAfter(pending);
    QByteArray head =
        "HTTP/1.1 " + QByteArray::number(response.statusCode) + ' ' + reasonPhrase(response.statusCode) + "\r\n";
    if (!response.contentType.isEmpty() && !hasNoBody(response.statusCode)) {
        head += "Content-Type: " + response.contentType + "\r\n";
    }
    if (!response.withoutContentLength && !hasNoBody(response.statusCode)) {
        head += "Content-Length: " +
                QByteArray::number(response.declaredLength >= 0 ? response.declaredLength : bodyLength) + "\r\n";
    }
    head += closes ? "Connection: close\r\n" : "Connection: keep-alive\r\n";
    for (const auto& field : response.extraHeaders) {
        head += field.first + ": " + field.second + "\r\n";
    }
    head += "\r\n";
    m_socket->write(head);
}

void TTestHttpConnection::pumpBody()
{
    if (m_state != EState::Sending) {
        return;
    }
    const TTestHttpResponse& response = m_pending.front().response;
    const bool paced = response.pieceSize > 0;
    while (m_bodySent < m_bodyLimit) {
        if (m_socket->bytesToWrite() >= MaxBufferedBytes) {
            return; // continues from bytesWritten
        }
        const QByteArray block = readBody(std::min(paced ? response.pieceSize : BlockSize, m_bodyLimit - m_bodySent));
        if (block.isEmpty()) {
            // The file shrank or failed; the client sees a short body.
            abort();
            return;
        }
        m_socket->write(block);
        m_bodySent += block.size();
        if (paced && response.pieceIntervalMs > 0 && m_bodySent < m_bodyLimit) {
            // Armed before the flush, whose bytesWritten would otherwise send the next piece at once.
            m_pieceTimer.start(response.pieceIntervalMs);
            m_socket->flush();
            return;
        }
    }
    completeResponse();
}

QByteArray TTestHttpConnection::readBody(qint64 maxBytes)
{
    if (m_bodyFile) {
        return m_bodyFile->read(maxBytes);
    }
    if (m_pending.front().response.isEndless) {
        const int start = static_cast<int>(m_bodySent % m_bodyData.size());
        return m_bodyData.mid(start, static_cast<int>(std::min<qint64>(maxBytes, m_bodyData.size() - start)));
    }
    return m_bodyData.mid(static_cast<int>(m_bodySent), static_cast<int>(maxBytes));
}

bool TTestHttpConnection::closesAfter(const TPending& pending)
{
    const TTestHttpResponse& response = pending.response;
    return !pending.keepAlive || response.withoutContentLength || response.declaredLength >= 0 ||
           response.fault == TTestHttpResponse::EFault::TruncateBody;
}

void TTestHttpConnection::completeResponse()
{
    const TPending done = std::move(m_pending.front());
    m_pending.pop_front();
    m_bodyFile.reset();
    m_bodyData.clear();
    const bool closes = closesAfter(done);
    m_state = closes ? EState::Closing : EState::Idle;
    m_server->responseCompleted(done.request.target);
    if (closes) {
        closeAfterWrite();
    } else {
        serveNext();
    }
}

void TTestHttpConnection::closeAfterWrite()
{
    // Pending output is flushed first; disconnected() then cleans up.
    m_socket->disconnectFromHost();
    if (m_socket->state() == QAbstractSocket::UnconnectedState) {
        onDisconnected();
    }
}

} // namespace testsupport
