#include "TMirrorLocations.h"

#include "configuration/TPackageBuild.h"
#include "configuration/TPackageConfigurationReader.h"

#include <QDebug>

namespace orvan::launcher {

TMirrorLocations::TMirrorLocations(const QUrl& buildLocation, const QList<QUrl>& mirrors)
    : m_rule(buildLocation, mirrors), m_states(static_cast<std::size_t>(m_rule.locationCount()))
{}

TMirrorLocations TMirrorLocations::ofBuild(const TPackageBuild* build)
{
    if (build == nullptr || build->mirrors().isEmpty())
        return {};
    // The folder the objects were resolved against: where the package document was served from.
    QUrl location = build->configuration() ? build->configuration()->packageBaseUrl() : build->location();
    location = location.adjusted(QUrl::RemoveQuery | QUrl::RemoveFragment);
    const QString scheme = location.scheme().toLower();
    // Documents read from the installation itself name no network location to stand in for.
    if (scheme != QLatin1String("http") && scheme != QLatin1String("https"))
        return {};
    if (!location.path().endsWith(QLatin1Char('/')))
        location.setPath(location.path() + QLatin1Char('/'));
    return TMirrorLocations(location, build->mirrors());
}

int TMirrorLocations::usableLocation(const QUrl& url, int from) const
{
    if (from == 0 && !isMirrored(url))
        return from;
    for (int location = from; location < m_rule.locationCount(); ++location) {
        if (!isGivenUp(location))
            return location;
    }
    return NoLocation;
}

int TMirrorLocations::nextLocation(const QUrl& url, int from) const
{
    if (from == 0 && !isMirrored(url))
        return NoLocation;
    return from + 1 < m_rule.locationCount() ? usableLocation(url, from + 1) : NoLocation;
}

bool TMirrorLocations::isGivenUp(const QUrl& url, int location) const
{
    return hasMirrors() && isGivenUp(location) && counts(url, location);
}

void TMirrorLocations::recordSuccess(const QUrl& url, int location)
{
    if (counts(url, location))
        m_states.at(static_cast<std::size_t>(location)).failuresInARow = 0;
}

bool TMirrorLocations::recordFailure(const QUrl& url, int location)
{
    if (!counts(url, location))
        return false;
    TState& state = m_states.at(static_cast<std::size_t>(location));
    if (state.givenUp || ++state.failuresInARow < FailuresInARowToGiveUp)
        return false;
    state.givenUp = true;
    qWarning().noquote() << "Download location" << m_rule.base(location) << "given up after" << FailuresInARowToGiveUp
                         << "failed objects in a row";
    return true;
}

void TMirrorLocations::resetFailures()
{
    for (TState& state : m_states)
        state = TState();
}

} // namespace orvan::launcher
