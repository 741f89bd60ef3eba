#include "HintsFuzzCheck.h"

#include "randomhints/ChooseHint.h"
#include "randomhints/ParseHints.h"

#include <QDateTime>

#include <algorithm>

using namespace shared;

namespace {

const QString StylePrefix = QStringLiteral("<style>a { color: #c0c0c0; }</style>");

QString checkChoice(const std::vector<THint>& hints, const QDateTime& now)
{
    const std::optional<THint> chosen = chooseHint(hints, now);
    if (!chosen) {
        return {};
    }
    const bool listed = std::any_of(hints.begin(), hints.end(), [&](const THint& hint) {
        return hint.richText == chosen->richText && hint.title == chosen->title;
    });
    if (!listed) {
        return QStringLiteral("the chosen hint is not in the list");
    }
    const bool anyEmergency =
        std::any_of(hints.begin(), hints.end(), [](const THint& hint) { return hint.hasEmergency && hint.emergency; });
    if (anyEmergency != (chosen->hasEmergency && chosen->emergency)) {
        return QStringLiteral("an emergency hint was passed over, or a withheld one chosen");
    }
    if (!anyEmergency && chosen->hasEmergency) {
        return QStringLiteral("a withheld hint was chosen");
    }
    if (!anyEmergency && !chosen->isCurrent(now)) {
        return QStringLiteral("a hint outside its display window was chosen");
    }
    return {};
}

} // namespace

QString checkHintsInput(const QByteArray& data)
{
    const std::vector<THint> hints = parseHints(data);
    for (const THint& hint : hints) {
        if (!hint.richText.startsWith(StylePrefix) || hint.richText.size() == StylePrefix.size()) {
            return QStringLiteral("a hint without its own rich text or style prefix");
        }
        if (!hint.hasEmergency && hint.emergency) {
            return QStringLiteral("emergency set without the key");
        }
    }
    const QDateTime instants[] = {
        QDateTime::fromMSecsSinceEpoch(0, Qt::UTC),
        QDateTime::fromMSecsSinceEpoch(-86400001, Qt::UTC),
        QDateTime(QDate(2024, 2, 29), QTime(12, 0, 0, 1), Qt::UTC),
        QDateTime::currentDateTimeUtc(),
        QDateTime(),
    };
    for (const QDateTime& now : instants) {
        const QString problem = checkChoice(hints, now);
        if (!problem.isEmpty()) {
            return problem;
        }
    }
    return {};
}
