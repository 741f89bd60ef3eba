#include "support/TTestHttpServer.h"

#include "support/TTestHttpConnection.h"

#include <QDir>
#include <QFileInfo>
#include <QHostAddress>
#include <QMimeDatabase>
#include <QTcpSocket>

#include <algorithm>

namespace testsupport {

TTestHttpServer::TTestHttpServer(QObject* parent) : QObject(parent)
{
    qRegisterMetaType<testsupport::TTestHttpRequest>();
    connect(&m_listener, &QTcpServer::newConnection, this, &TTestHttpServer::onNewConnection);
    if (!listenOn(0)) {
        qFatal("TTestHttpServer: cannot listen on 127.0.0.1: %s", qPrintable(m_listener.errorString()));
    }
}

TTestHttpServer::~TTestHttpServer()
{
    stop();
}

bool TTestHttpServer::start()
{
    if (m_listener.isListening()) {
        return true;
    }
    return listenOn(m_port) || listenOn(0);
}

void TTestHttpServer::stop()
{
    m_listener.close();
    const QList<TTestHttpConnection*> connections = m_connections;
    for (TTestHttpConnection* connection : connections) {
        connection->abort();
    }
}

bool TTestHttpServer::isListening() const
{
    return m_listener.isListening();
}

quint16 TTestHttpServer::port() const
{
    return m_port;
}

QUrl TTestHttpServer::url(const QString& path) const
{
    return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(m_port).arg(path));
}

void TTestHttpServer::setResponse(const QString& path, const TTestHttpResponse& response)
{
    TRoute route;
    route.response = response;
    m_routes.insert(path.toUtf8(), route);
}

void TTestHttpServer::setContent(const QString& path, const QByteArray& body, const QByteArray& contentType)
{
    setResponse(path, TTestHttpResponse().body(body, contentType));
}

void TTestHttpServer::removeResponse(const QString& path)
{
    m_routes.remove(path.toUtf8());
}

void TTestHttpServer::clearResponses()
{
    m_routes.clear();
}

void TTestHttpServer::setDocumentRoot(const QString& directory)
{
    m_documentRoot = directory.isEmpty() ? QString() : QDir(directory).canonicalPath();
}

int TTestHttpServer::releaseHeld(const QString& path)
{
    const QByteArray wanted = path.toUtf8();
    int released = 0;
    // Releasing may complete responses and close connections, which edits m_connections.
    const QList<TTestHttpConnection*> connections = m_connections;
    for (TTestHttpConnection* connection : connections) {
        if (m_connections.contains(connection) && connection->releaseHeld(wanted)) {
            ++released;
        }
    }
    return released;
}

int TTestHttpServer::heldCount(const QString& path) const
{
    const QByteArray wanted = path.toUtf8();
    return static_cast<int>(std::count_if(m_connections.begin(), m_connections.end(),
                                          [&](const TTestHttpConnection* c) { return c->isHeldFor(wanted); }));
}

QVector<TTestHttpRequest> TTestHttpServer::requests(const QString& path) const
{
    const QByteArray wanted = path.toUtf8();
    QVector<TTestHttpRequest> matching;
    for (const TTestHttpRequest& request : m_log) {
        if (targetMatches(request, wanted)) {
            matching.append(request);
        }
    }
    return matching;
}

int TTestHttpServer::requestCount(const QString& path) const
{
    return path.isEmpty() ? m_log.size() : requests(path).size();
}

QStringList TTestHttpServer::requestedTargets() const
{
    QStringList targets;
    for (const TTestHttpRequest& request : m_log) {
        targets.append(QString::fromUtf8(request.target));
    }
    return targets;
}

void TTestHttpServer::clearLog()
{
    m_log.clear();
    m_peakInFlight = m_inFlight;
    m_acceptedConnections = 0;
    m_receivedBytes = 0;
}

void TTestHttpServer::onNewConnection()
{
    while (QTcpSocket* socket = m_listener.nextPendingConnection()) {
        ++m_acceptedConnections;
        m_connections.append(new TTestHttpConnection(socket, m_nextConnectionId++, this));
    }
}

bool TTestHttpServer::listenOn(quint16 port)
{
    if (!m_listener.listen(QHostAddress::LocalHost, port)) {
        return false;
    }
    m_port = m_listener.serverPort();
    return true;
}

TTestHttpResponse TTestHttpServer::acceptRequest(TTestHttpRequest& request)
{
    ++m_inFlight;
    m_peakInFlight = std::max(m_peakInFlight, m_inFlight);
    request.inFlightAtArrival = m_inFlight;
    request.sequence = m_log.size() + 1;
    m_log.append(request);

    auto route = m_routes.find(request.target);
    if (route == m_routes.end()) {
        route = m_routes.find(request.path());
    }
    if (route == m_routes.end()) {
        return responseFromDocumentRoot(request);
    }

    ++route->hits;
    if (route->hits <= route->response.failFirstCount) {
        TTestHttpResponse failure;
        if (route->response.failStatusCode == 0) {
            return failure.closeWithoutResponse();
        }
        return failure.status(route->response.failStatusCode).body("Injected failure\n", "text/plain");
    }
    TTestHttpResponse response = route->response;
    for (auto& field : response.extraHeaders) {
        if (field.first.compare("Location", Qt::CaseInsensitive) == 0 && field.second.startsWith('/')) {
            field.second = url(QString::fromUtf8(field.second)).toEncoded();
        }
    }
    return response;
}

TTestHttpResponse TTestHttpServer::responseFromDocumentRoot(const TTestHttpRequest& request) const
{
    TTestHttpResponse notFound = TTestHttpResponse().status(404).body("Not Found\n", "text/plain");
    if (m_documentRoot.isEmpty() || (request.method != "GET" && request.method != "HEAD")) {
        return notFound;
    }
    const QString relative = QUrl::fromPercentEncoding(request.path());
    const QString filePath = QDir::cleanPath(m_documentRoot + QLatin1Char('/') + relative);
    // cleanPath folds "..", so anything outside the root no longer starts with it.
    if (!filePath.startsWith(m_documentRoot + QLatin1Char('/')) || !QFileInfo(filePath).isFile()) {
        return notFound;
    }
    const QByteArray type = QMimeDatabase().mimeTypeForFile(filePath, QMimeDatabase::MatchExtension).name().toUtf8();
    return TTestHttpResponse().file(filePath, type);
}

void TTestHttpServer::responseCompleted(const QByteArray& target)
{
    requestsFinished(1);
    emit responseSent(target);
}

void TTestHttpServer::requestsFinished(int count)
{
    m_inFlight -= count;
}

void TTestHttpServer::connectionClosed(TTestHttpConnection* connection)
{
    m_connections.removeOne(connection);
    connection->deleteLater();
}

bool TTestHttpServer::targetMatches(const TTestHttpRequest& request, const QByteArray& path)
{
    return path.contains('?') ? request.target == path : request.path() == path;
}

} // namespace testsupport
