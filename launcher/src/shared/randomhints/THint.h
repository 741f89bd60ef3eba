#pragma once

#include <QDateTime>
#include <QMetaType>
#include <QString>

#include <vector>

namespace shared {

/// One news item or tip of the hints area.
struct THint
{
    QString title;
    /// HTML shown in the hints area; never empty in a parsed hint.
    QString richText;
    QString imageUrl;
    QString category;
    QString url;
    /// Start of the display window; null when absent or unparsable.
    QDateTime displayAfter;
    /// End of the display window; null when absent or unparsable.
    QDateTime displayUntil;
    /// The hint object has an "emergency" key.
    bool hasEmergency = false;
    bool emergency = false;

    /// Whether Now lies inside the display window; a null bound leaves that side open.
    bool isCurrent(const QDateTime& now) const;
    /// Whether the hint has a start or an end of its display window.
    bool isDated() const { return displayAfter.isValid() || displayUntil.isValid(); }

    /// Registers THint and std::vector<THint> for queued signal connections.
    static void registerMetaTypes();
};

} // namespace shared

Q_DECLARE_METATYPE(shared::THint)
Q_DECLARE_METATYPE(std::vector<shared::THint>)
