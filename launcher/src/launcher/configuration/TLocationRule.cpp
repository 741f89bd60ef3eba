#include "TLocationRule.h"

namespace orvan::launcher {

TLocationRule::TLocationRule(const QUrl& home, const QList<QUrl>& mirrors)
{
    m_bases.append(home.toString(QUrl::FullyEncoded));
    for (const QUrl& mirror : mirrors)
        m_bases.append(mirror.toString(QUrl::FullyEncoded));
}

bool TLocationRule::isMirrored(const QUrl& url) const
{
    return hasMirrors() && url.toString(QUrl::FullyEncoded).startsWith(m_bases.front());
}

QUrl TLocationRule::relocated(const QUrl& url, int from, int to) const
{
    // Compared as encoded text: the decoded forms of two different paths can be the same.
    const QString text = url.toString(QUrl::FullyEncoded);
    if (!isLocation(from) || !isLocation(to) || !text.startsWith(m_bases.at(from)))
        return QUrl();
    return QUrl(m_bases.at(to) + text.mid(m_bases.at(from).size()), QUrl::StrictMode);
}

} // namespace orvan::launcher
