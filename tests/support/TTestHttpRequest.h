#pragma once

#include <QByteArray>
#include <QList>
#include <QMetaType>
#include <QPair>

namespace testsupport {

/// One request as the test server received it, kept in the server's log.
struct TTestHttpRequest
{
    QByteArray method;
    /// The request target as sent: path with query, still percent-encoded.
    QByteArray target;
    QByteArray version;
    /// Header fields in arrival order, names as the client spelt them.
    QList<QPair<QByteArray, QByteArray>> headers;
    QByteArray body;
    /// 1-based arrival number since the server was created or its log cleared.
    int sequence = 0;
    /// Identifies the TCP connection that carried the request (keep-alive reuse shows here).
    int connectionId = 0;
    /// Requests received but not completely answered when this one arrived, this one included.
    int inFlightAtArrival = 0;

    /// The target without its query.
    QByteArray path() const;
    QByteArray query() const;
    /// The first header of that name, compared case-insensitively; empty when absent.
    QByteArray header(const QByteArray& name) const;
    bool hasHeader(const QByteArray& name) const;
};

} // namespace testsupport

Q_DECLARE_METATYPE(testsupport::TTestHttpRequest)
