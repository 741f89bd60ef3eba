#pragma once

#include <QNetworkAccessManager>
#include <QNetworkRequest>
#include <QObject>

#include <memory>

class QAbstractNetworkCache;
class QAuthenticator;
class QNetworkReply;

namespace shared {

class QNetworkReplyWrapper;

/// Issues GET requests through one shared QNetworkAccessManager and hands back each reply wrapped.
/// Requests go out exactly as the caller built them: no headers, time-outs or cache policy added.
class QNetworkAccessManagerWrapper : public QObject
{
    Q_OBJECT

public:
    explicit QNetworkAccessManagerWrapper(std::shared_ptr<QNetworkAccessManager> manager);
    ~QNetworkAccessManagerWrapper() override;

    /// The returned wrapper is a child of the reply; the caller may deleteLater() it when done.
    /// Returns nullptr when the wrapper has no manager.
    virtual QNetworkReplyWrapper* get(const QNetworkRequest& request);
    virtual void setCache(QAbstractNetworkCache* cache);
    virtual void setRedirectPolicy(QNetworkRequest::RedirectPolicy policy);

signals:
    void authenticationRequired(QNetworkReply* pReply, QAuthenticator* pAuthenticator);

private:
    std::shared_ptr<QNetworkAccessManager> m_manager;
};

} // namespace shared
