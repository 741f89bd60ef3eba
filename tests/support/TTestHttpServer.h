#pragma once

#include "support/TTestHttpRequest.h"
#include "support/TTestHttpResponse.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QUrl>
#include <QVector>

namespace testsupport {

class TTestHttpConnection;

/// An HTTP/1.1 server inside the test process, listening on 127.0.0.1 on a port the system picks.
/// It lives on the thread that creates it and is driven by that thread's event loop, so tests wait
/// with QSignalSpy / QTRY_* while the client under test talks to it. It is listening as soon as the
/// constructor returns. Responses are chosen per path (exact target with query first, then the path
/// alone), then from the document root for GET and HEAD, else 404. Keep-alive, pipelined requests and
/// Content-Length request bodies are supported; chunked request bodies are answered with 501.
class TTestHttpServer : public QObject
{
    Q_OBJECT

public:
    explicit TTestHttpServer(QObject* parent = nullptr);
    ~TTestHttpServer() override;

    /// Listens again after stop(), on the previous port when it is still free. True when listening.
    bool start();
    /// Stops listening and drops every open connection; clients see a refused connection afterwards.
    void stop();
    bool isListening() const;
    quint16 port() const;
    /// http://127.0.0.1:<port><path>; path may carry a query.
    QUrl url(const QString& path = QStringLiteral("/")) const;

    /// Routes: path is matched against the request target as sent (percent-encoded).
    void setResponse(const QString& path, const TTestHttpResponse& response);
    /// Shorthand for a 200 response with that body.
    void setContent(const QString& path, const QByteArray& body,
                    const QByteArray& contentType = "application/octet-stream");
    void removeResponse(const QString& path);
    void clearResponses();
    /// Files under this directory are served for GET and HEAD when no route matches.
    void setDocumentRoot(const QString& directory);

    /// Sends the held responses whose path matches (all when path is empty); returns how many.
    int releaseHeld(const QString& path = {});
    int heldCount(const QString& path = {}) const;

    /// The log of received requests, in arrival order.
    QVector<TTestHttpRequest> requests() const { return m_log; }
    /// Requests for path: compared with the full target when path has a query, else with the path.
    QVector<TTestHttpRequest> requests(const QString& path) const;
    int requestCount(const QString& path = {}) const;
    /// Targets of all logged requests in arrival order.
    QStringList requestedTargets() const;
    /// Forgets the log, the peak and the connection count (routes and fail-first counters stay).
    void clearLog();

    /// Requests received and not yet completely answered (held, delayed, stalled or being sent).
    int inFlightCount() const { return m_inFlight; }
    /// Highest inFlightCount() since creation or clearLog().
    int peakInFlightCount() const { return m_peakInFlight; }
    /// Connections accepted since creation or clearLog(); fewer than requests means keep-alive reuse.
    int connectionCount() const { return m_acceptedConnections; }
    int openConnectionCount() const { return m_connections.size(); }
    /// Bytes read from clients since creation or clearLog(), whether or not they form a request yet.
    qint64 receivedByteCount() const { return m_receivedBytes; }

signals:
    void requestReceived(const testsupport::TTestHttpRequest& request);
    /// The last byte of the response for target was handed to the socket (also after truncation).
    void responseSent(const QByteArray& target);

private:
    friend class TTestHttpConnection;

    struct TRoute
    {
        TTestHttpResponse response;
        int hits = 0;
    };

    void onNewConnection();
    bool listenOn(quint16 port);
    /// Logs an arrived request and decides its response (routes, fail-first, document root, 404).
    TTestHttpResponse acceptRequest(TTestHttpRequest& request);
    TTestHttpResponse responseFromDocumentRoot(const TTestHttpRequest& request) const;
    void responseCompleted(const QByteArray& target);
    void requestsFinished(int count);
    void connectionClosed(TTestHttpConnection* connection);
    void bytesReceived(qint64 count) { m_receivedBytes += count; }
    static bool targetMatches(const TTestHttpRequest& request, const QByteArray& path);

    QTcpServer m_listener;
    quint16 m_port = 0;
    QHash<QByteArray, TRoute> m_routes;
    QString m_documentRoot;
    QList<TTestHttpConnection*> m_connections;
    QVector<TTestHttpRequest> m_log;
    int m_nextConnectionId = 1;
    int m_acceptedConnections = 0;
    int m_inFlight = 0;
    int m_peakInFlight = 0;
    qint64 m_receivedBytes = 0;
};

} // namespace testsupport
