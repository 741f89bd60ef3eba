#pragma once

#include <QMap>
#include <QObject>
#include <QString>

namespace shared {

/// Placeholder for per-host credentials of a download pool. It is deliberately inert: nothing
/// answers authentication requests, so a server asking for credentials makes the request fail.
class TNetworkAccessManagerAuthenticationHandler : public QObject
{
    Q_OBJECT

public:
    explicit TNetworkAccessManagerAuthenticationHandler(QObject* parent = nullptr);
    ~TNetworkAccessManagerAuthenticationHandler() override;

    bool hasCredentials() const { return !m_credentials.isEmpty(); }

private:
    QMap<QString, QString> m_credentials;
};

} // namespace shared
