#pragma once

#include "configuration/TLocationRule.h"

#include <QList>
#include <QString>
#include <QUrl>

#include <vector>

namespace orvan::launcher {

class TPackageBuild;

/// The locations one installation run fetches objects from (see TLocationRule), and which of them
/// are given up. A location on which FailuresInARowToGiveUp objects in a row
/// failed is given up for the rest of the run. Without mirrors there is one location, which is
/// never given up. Used on the thread that owns the downloader.
class TMirrorLocations
{
public:
    static constexpr int FailuresInARowToGiveUp = 3;
    /// What nextLocation and usableLocation return when no location is left.
    static constexpr int NoLocation = -1;

    /// One location, no mirrors.
    TMirrorLocations() = default;
    /// BuildLocation and every mirror must name a folder (end with "/").
    TMirrorLocations(const QUrl& buildLocation, const QList<QUrl>& mirrors);
    /// The locations of Build: the folder its package document was served from, then its
    /// mirrors (one location without mirrors when Build is null or its documents were read from disk).
    static TMirrorLocations ofBuild(const TPackageBuild* build);

    bool hasMirrors() const { return m_rule.hasMirrors(); }
    /// Whether Url, the URL of an object at location 0, has copies on the mirrors.
    bool isMirrored(const QUrl& url) const { return m_rule.isMirrored(url); }
    /// Url (the object's URL at location From) moved to location To.
    QUrl relocated(const QUrl& url, int from, int to) const { return m_rule.relocated(url, from, to); }
    /// The first location not given up at or after From for the object at Url on location From;
    /// From itself for an object that is not mirrored.
    int usableLocation(const QUrl& url, int from) const;
    /// The first location not given up after From for the object at Url on location From.
    int nextLocation(const QUrl& url, int from) const;
    /// Whether the object at Url can no longer be fetched from Location, which was given up.
    bool isGivenUp(const QUrl& url, int location) const;

    /// The object at Url was served correctly by Location: the location's run of failures ends.
    void recordSuccess(const QUrl& url, int location);
    /// The object at Url failed on Location (every try, or data that can't be used); true when
    /// this gave the location up, which is logged once. Objects that are not mirrored don't count.
    bool recordFailure(const QUrl& url, int location);
    /// Forgets the failures of an earlier run.
    void resetFailures();

private:
    struct TState
    {
        int failuresInARow = 0;
        bool givenUp = false;
    };

    bool counts(const QUrl& url, int location) const { return location > 0 || isMirrored(url); }
    bool isGivenUp(int location) const { return m_states[static_cast<std::size_t>(location)].givenUp; }

    TLocationRule m_rule;
    std::vector<TState> m_states;
};

} // namespace orvan::launcher
