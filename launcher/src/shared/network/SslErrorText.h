#pragma once

#include <QList>
#include <QSslError>
#include <QStringList>
#include <QUrl>

namespace shared {

/// One log line per certificate error of a refused secure connection to url: the error's text,
/// the host, and the subject and expiry of the certificate it concerns (when there is one).
QStringList sslErrorLines(const QUrl& url, const QList<QSslError>& errors);

} // namespace shared
