#pragma once

#include <QList>
#include <QString>
#include <QUrl>

namespace orvan::launcher {

/// Where copies of a build's documents and objects lie: location 0 is the build's own folder,
/// locations 1 and on are its mirrors in order. A URL below the build's folder has a copy at the
/// same relative path below every mirror; any other URL exists only where it points.
class TLocationRule
{
public:
    /// One location, no mirrors.
    TLocationRule() = default;
    /// Home and every mirror must name a folder (end with "/").
    TLocationRule(const QUrl& home, const QList<QUrl>& mirrors);

    /// The build's folder and its mirrors.
    int locationCount() const { return static_cast<int>(m_bases.size()); }
    bool hasMirrors() const { return m_bases.size() > 1; }
    /// The folder of Location, as encoded text ending with "/".
    const QString& base(int location) const { return m_bases.at(location); }
    /// Whether Url, a URL at location 0, has copies on the mirrors.
    bool isMirrored(const QUrl& url) const;
    /// Url (below location From) at the same relative path below location To; invalid when either
    /// location does not exist or Url does not lie below From.
    QUrl relocated(const QUrl& url, int from, int to) const;

private:
    bool isLocation(int location) const { return location >= 0 && location < m_bases.size(); }

    /// Bases as encoded text, location 0 first.
    QList<QString> m_bases;
};

} // namespace orvan::launcher
