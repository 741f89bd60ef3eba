#pragma once

#include "support/TTestHttpRequest.h"
#include "support/TTestHttpResponse.h"

#include <QByteArray>
#include <QFile>
#include <QObject>
#include <QTcpSocket>
#include <QTimer>

#include <deque>
#include <memory>

namespace testsupport {

class TTestHttpServer;

/// One accepted TCP connection of TTestHttpServer: parses requests as their bytes arrive and
/// answers them strictly in order, one at a time, applying the faults of each response.
class TTestHttpConnection : public QObject
{
    Q_OBJECT

public:
    TTestHttpConnection(QTcpSocket* socket, int id, TTestHttpServer* server);
    ~TTestHttpConnection() override;

    int id() const { return m_id; }
    /// True when the request being answered waits for release and its path matches (any when empty).
    bool isHeldFor(const QByteArray& path) const;
    /// Lets a held response go out; false when nothing matching was held.
    bool releaseHeld(const QByteArray& path);
    /// Closes at once, dropping whatever is not answered yet.
    void abort();

private:
    enum class EState
    {
        Idle,
        Waiting,
        Held,
        Sending,
        Stalled,
        Closing
    };

    struct TPending
    {
        TTestHttpRequest request;
        TTestHttpResponse response;
        bool keepAlive = true;
    };

    void onReadyRead();
    void onBytesWritten();
    void onDisconnected();
    /// Takes one complete request off the input buffer; false when more bytes are needed.
    bool parseRequest();
    void rejectAndClose(int statusCode);
    void serveNext();
    void beginResponse();
    bool openBody(const TTestHttpResponse& response);
    void writeHead(const TPending& pending, qint64 bodyLength);
    void pumpBody();
    QByteArray readBody(qint64 maxBytes);
    static bool closesAfter(const TPending& pending);
    void completeResponse();
    void closeAfterWrite();

    QTcpSocket* m_socket;
    int m_id;
    TTestHttpServer* m_server;
    QByteArray m_input;
    std::deque<TPending> m_pending;
    EState m_state = EState::Idle;
    std::unique_ptr<QFile> m_bodyFile;
    QByteArray m_bodyData;
    qint64 m_bodySent = 0;
    qint64 m_bodyLimit = 0;
    QTimer m_pieceTimer;
    bool m_closeReported = false;
};

} // namespace testsupport
